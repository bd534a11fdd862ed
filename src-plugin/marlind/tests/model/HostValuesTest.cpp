// The device-type table and the MAC text normalisation.
#include "TestSupport.h"
#include "model/HostValues.h"

namespace {
using namespace marlind_test;

std::string DeviceType(const Variant& platform, const Variant& family = Variant::Null()) {
    return comsupport::Utf8FromOle(comsupport::OleString(ZELKXML::DeviceTypeFor(platform.Get(), family.Get())));
}
std::string DeviceType(const char* platform, const char* family = nullptr) {
    return DeviceType(Variant::FromText(Ole(platform)), family ? Variant::FromText(Ole(family)) : Variant::Null());
}

TEST(DeviceTypeFor, WindowsMobileIsMobileOnlyWithTheExactFamily) {
    EXPECT_EQ("mobile", DeviceType("Windows", "Mobile"));
    EXPECT_EQ("computer", DeviceType("Windows", "mobile"));
    EXPECT_EQ("computer", DeviceType("Windows", "Mobile "));
    EXPECT_EQ("computer", DeviceType("Windows", "Server"));
    EXPECT_EQ("computer", DeviceType("Windows"));
    // "Mobile" in the family of anything but Windows counts for nothing.
    EXPECT_EQ("computer", DeviceType("Linux", "Mobile"));
    EXPECT_EQ("unknown", DeviceType("Switch", "Mobile"));
}

TEST(DeviceTypeFor, EachListSetsItsType) {
    for (const char* platform : {"iOS", "Android", "Symbian", "BlackBerry"}) EXPECT_EQ("mobile", DeviceType(platform));
    for (const char* platform :
         {"Windows", "Macintosh", "Linux", "BSD", "Sun", "IRIX", "HP-UX", "AIX", "Novell", "Unix"})
        EXPECT_EQ("computer", DeviceType(platform)) << platform;
    EXPECT_EQ("printer", DeviceType("Printer"));
    EXPECT_EQ("router", DeviceType("Router"));
}

TEST(DeviceTypeFor, MatchesAreCaseSensitiveAndWholeEntries) {
    EXPECT_EQ("unknown", DeviceType("windows"));
    EXPECT_EQ("unknown", DeviceType("Windows Mobile"));
    EXPECT_EQ("unknown", DeviceType("Win"));
    EXPECT_EQ("unknown", DeviceType("Switch"));
    EXPECT_EQ("unknown", DeviceType("printer"));
    EXPECT_EQ("unknown", DeviceType(" Linux"));
    EXPECT_EQ("unknown", DeviceType(""));
    EXPECT_EQ("unknown", DeviceType("|"));
}

TEST(DeviceTypeFor, RunsOfEntriesWithTheirBarsMatch) {
    EXPECT_EQ("computer", DeviceType("Linux|BSD"));
    EXPECT_EQ("mobile", DeviceType("iOS|Android"));
    EXPECT_EQ("unknown", DeviceType("Android|Windows"));  // spans two lists
    EXPECT_EQ("unknown", DeviceType("Linux|"));
}

TEST(DeviceTypeFor, PlatformTextEndsAtItsFirstNul) {
    comsupport::OleString text = Ole("Linux?garbage");
    text[5] = 0;
    EXPECT_EQ("computer", DeviceType(Variant::FromBstr(comsupport::Bstr(text))));
}

TEST(DeviceTypeFor, NonStringPlatformsAreUnknown) {
    EXPECT_EQ("unknown", DeviceType(Variant::Null()));
    EXPECT_EQ("unknown", DeviceType(Variant()));
    EXPECT_EQ("unknown", DeviceType(Variant::FromLong(1)));
    VARIANT nullText;
    VariantInit(&nullText);
    nullText.vt = VT_BSTR;
    nullText.bstrVal = nullptr;
    EXPECT_EQ("unknown", comsupport::Utf8FromOle(comsupport::OleString(
                             ZELKXML::DeviceTypeFor(nullText, Variant::FromText(OLESTR("Mobile")).Get()))));
    // A Windows platform with a null family text: no family match, still a computer.
    EXPECT_EQ("computer", comsupport::Utf8FromOle(comsupport::OleString(
                              ZELKXML::DeviceTypeFor(Variant::FromText(OLESTR("Windows")).Get(), nullText))));
}

Variant Normalized(const Variant& mac) { return ZELKXML::NormalizeMACText(mac); }

TEST(NormalizeMACText, RemovesEveryColonAndNothingElse) {
    EXPECT_TRUE(IsText(Normalized(Variant::FromText(OLESTR("00:1A:2B:3C:4D:5E"))), "001A2B3C4D5E"));
    EXPECT_TRUE(IsText(Normalized(Variant::FromText(OLESTR("00-1a-2b-3c-4d-5e"))), "00-1a-2b-3c-4d-5e"));
    EXPECT_TRUE(IsText(Normalized(Variant::FromText(OLESTR("001a.2b3c.4d5e"))), "001a.2b3c.4d5e"));
    EXPECT_TRUE(IsText(Normalized(Variant::FromText(OLESTR(" 00:1a :2B"))), " 001a 2B"));
    EXPECT_TRUE(IsText(Normalized(Variant::FromText(OLESTR("::"))), ""));
    EXPECT_TRUE(IsText(Normalized(Variant::FromText(OLESTR(""))), ""));
}

TEST(NormalizeMACText, KeepsCharactersAfterANul) {
    comsupport::OleString text = Ole("00:1A?2B:3C");
    text[5] = 0;
    Variant result = Normalized(Variant::FromBstr(comsupport::Bstr(text)));
    ASSERT_EQ(VT_BSTR, result.Type());
    comsupport::OleString expected = Ole("001A?2B3C");
    expected[4] = 0;
    EXPECT_EQ(expected, comsupport::OleString(result.Get().bstrVal, SysStringLen(result.Get().bstrVal)));
}

TEST(NormalizeMACText, NonStringsGiveNull) {
    EXPECT_EQ(VT_NULL, Normalized(Variant::Null()).Type());
    EXPECT_EQ(VT_NULL, Normalized(Variant()).Type());
    EXPECT_EQ(VT_NULL, Normalized(Variant::FromLong(5)).Type());
}

TEST(NormalizeMACText, NullTextGivesAnEmptyString) {
    VARIANT raw;
    VariantInit(&raw);
    raw.vt = VT_BSTR;
    raw.bstrVal = nullptr;
    Variant result = Normalized(Variant::Adopt(raw));
    ASSERT_EQ(VT_BSTR, result.Type());
    ASSERT_NE(nullptr, result.Get().bstrVal);
    EXPECT_EQ(0u, SysStringLen(result.Get().bstrVal));
}

TEST(NormalizeMACText, LeavesTheCallersValueAlone) {
    Variant mac = Variant::FromText(OLESTR("00:1A:2B:3C:4D:5E"));
    Variant result = ZELKXML::NormalizeMACText(mac);
    EXPECT_TRUE(IsText(mac, "00:1A:2B:3C:4D:5E"));
    EXPECT_NE(mac.Get().bstrVal, result.Get().bstrVal);
}
}  // namespace
