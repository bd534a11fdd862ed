// Address and time texts turned into what the database columns store.
#include <cmath>

#include "TestSupport.h"
#include "model/ValueConversions.h"

namespace {
using namespace marlind_test;
using Bytes16 = std::vector<unsigned char>;

Bytes16 AddressBytes(const std::string& text) {
    Variant result = ZELKXML::AddressTextToBytes(Variant::FromText(Ole(text)).Get());
    EXPECT_EQ(VT_ARRAY | VT_UI1, result.Type()) << text;
    if (result.Type() == (VT_ARRAY | VT_UI1)) {
        LONG lower = -1;
        SafeArrayGetLBound(result.Get().parray, 1, &lower);
        EXPECT_EQ(0, lower);
        EXPECT_EQ(1u, SafeArrayGetDim(result.Get().parray));
    }
    return Bytes(result);
}

const Bytes16 kZero(16, 0);

TEST(AddressTextToBytes, DottedIPv4BecomesTheMappedForm) {
    EXPECT_EQ((Bytes16{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 10, 1, 2, 3}), AddressBytes("10.1.2.3"));
    EXPECT_EQ((Bytes16{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 255, 255, 255, 0}), AddressBytes("255.255.255.0"));
}

TEST(AddressTextToBytes, DottedIPv4KeepsTheLowEightBitsOfEachNumber) {
    Bytes16 bytes = AddressBytes("300.1.1.1");
    EXPECT_EQ(0x2C, bytes[12]);
    EXPECT_EQ(0xFF, AddressBytes("-1.0.0.0")[12]);
    EXPECT_EQ(0x00, AddressBytes("256.0.0.0")[12]);
}

TEST(AddressTextToBytes, DottedIPv4SkipsLeadingSpaceAndIgnoresTrailingText) {
    Bytes16 expected{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 192, 168, 1, 20};
    EXPECT_EQ(expected, AddressBytes("  192.168.1.20"));
    EXPECT_EQ(expected, AddressBytes("192.168.1.20/24"));
    EXPECT_EQ(expected, AddressBytes("192.168.1.20.7"));
    // Each number skips white space before it, as the C runtime's scan does.
    EXPECT_EQ(expected, AddressBytes("192. 168. 1. 20"));
}

TEST(AddressTextToBytes, EightGroupsAreBigEndian) {
    EXPECT_EQ((Bytes16{0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2, 0, 3, 0, 4}), AddressBytes("fe80:0:0:0:1:2:3:4"));
    EXPECT_EQ((Bytes16{0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0x12, 0x02, 0x1A, 0x2B, 0xFF, 0xFE, 0x3C, 0x4D, 0x5E}),
              AddressBytes("2001:DB8:0:12:21a:2bff:fe3c:4d5e"));
}

TEST(AddressTextToBytes, EightGroupsIgnoreWhatFollows) {
    EXPECT_EQ((Bytes16{0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8}), AddressBytes("1:2:3:4:5:6:7:8::"));
    EXPECT_EQ((Bytes16{0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8}), AddressBytes("1:2:3:4:5:6:7:8/64"));
}

TEST(AddressTextToBytes, EightGroupsReduceEachGroupToSixteenBits) {
    EXPECT_EQ((Bytes16{0x23, 0x45, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), AddressBytes("12345:0:0:0:0:0:0:1"));
}

TEST(AddressTextToBytes, CompressedIPv6FormsGiveTheirAddress) {
    EXPECT_EQ(kZero, AddressBytes("::"));
    EXPECT_EQ((Bytes16{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), AddressBytes("::1"));
    EXPECT_EQ((Bytes16{0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), AddressBytes("fe80::1"));
    EXPECT_EQ((Bytes16{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 10, 1, 2, 3}), AddressBytes("::ffff:10.1.2.3"));
    EXPECT_EQ((Bytes16{0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0x12, 0, 0, 0, 0, 0, 0, 0, 0}),
              AddressBytes("2001:db8:0:12::"));
    EXPECT_EQ((Bytes16{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}),
              AddressBytes("ffff:ffff:ffff:ffff::"));
    EXPECT_EQ((Bytes16{0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 0, 0, 8}), AddressBytes("1:2:3:4:5:6::8"));
}

TEST(AddressTextToBytes, DistinctCompressedAddressesStayDistinct) {
    // The reason for recognising them: subnets must not merge into the zero address.
    EXPECT_NE(AddressBytes("2001:db8:1::"), AddressBytes("2001:db8:2::"));
    EXPECT_NE(kZero, AddressBytes("2001:db8:1::"));
}

TEST(AddressTextToBytes, FullFormWithDottedTail) {
    EXPECT_EQ((Bytes16{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 10, 1, 2, 3}),
              AddressBytes("0:0:0:0:0:ffff:10.1.2.3"));
}

TEST(AddressTextToBytes, CompressedFormsIgnoreZoneAndPrefixLength) {
    Bytes16 linkLocal{0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(linkLocal, AddressBytes(" fe80::1%eth0"));
    EXPECT_EQ((Bytes16{0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), AddressBytes("2001:db8::/32"));
}

TEST(AddressTextToBytes, InvalidTextGivesSixteenZeroBytes) {
    for (const char* text :
         {"", "1.2.3", "abc", "host.example.com", "1::2::3", ":1:2:3:4:5:6:7", "1:2:3:4:5:6:7", "12345::1", "::1.2.3",
          "::256.1.1.1", "1:2:3:4:5:6:7::8:9", "00:1A:2B:3C:4D:5E", "1:", ":::", "::ffff:1.2.3.4.5"}) {
        EXPECT_EQ(kZero, AddressBytes(text)) << '"' << text << '"';
    }
}

TEST(AddressTextToBytes, TextStopsAtTheFirstNul) {
    comsupport::OleString text = Ole("10.1.2.3");
    text[4] = 0;  // "10.1" then "2.3" after a NUL
    Variant value = Variant::FromBstr(comsupport::Bstr(text));
    EXPECT_EQ(kZero, Bytes(ZELKXML::AddressTextToBytes(value.Get())));
}

TEST(AddressTextToBytes, NonStringsComeBackUnchanged) {
    Variant null = ZELKXML::AddressTextToBytes(Variant::Null().Get());
    EXPECT_EQ(VT_NULL, null.Type());
    Variant empty = ZELKXML::AddressTextToBytes(Variant().Get());
    EXPECT_EQ(VT_EMPTY, empty.Type());
    Variant number = ZELKXML::AddressTextToBytes(Variant::FromLong(167838211).Get());
    EXPECT_EQ(VT_I4, number.Type());
    EXPECT_EQ(167838211, number.Get().lVal);

    // A byte array is copied deeply, not shared.
    Variant bytes = ZELKXML::AddressTextToBytes(Variant::FromText(OLESTR("10.1.2.3")).Get());
    Variant copy = ZELKXML::AddressTextToBytes(bytes.Get());
    ASSERT_EQ(VT_ARRAY | VT_UI1, copy.Type());
    EXPECT_NE(bytes.Get().parray, copy.Get().parray);
    EXPECT_EQ(Bytes(bytes), Bytes(copy));
}

TEST(AddressTextToBytes, NullBstrCountsAsEmptyText) {
    VARIANT raw;
    VariantInit(&raw);
    raw.vt = VT_BSTR;
    raw.bstrVal = nullptr;
    EXPECT_EQ(kZero, Bytes(ZELKXML::AddressTextToBytes(raw)));
}

// ---- time texts ----

// 8 March 2013 as an automation date: days since 30 December 1899.
constexpr double k8March2013 = 41341.0;
constexpr double kSecond = 1.0 / 86400.0;

double DateOf(const char* text) {
    Variant result = ZELKXML::TimeTextToDate(Ole(text).c_str());
    EXPECT_EQ(VT_DATE, result.Type()) << text;
    return result.Get().date;
}

TEST(TimeTextToDate, FullTimeWithMillisecondsAndZone) {
    const double expected = k8March2013 + (13 * 3600 + 47 * 60 + 20) * kSecond;
    // Milliseconds reach the platform conversion; its precision decides whether they count.
    EXPECT_NEAR(expected, DateOf("2013-03-08T13:47:20.123Z"), kSecond);
    EXPECT_GE(DateOf("2013-03-08T13:47:20.123Z"), expected - 1e-9);
}

TEST(TimeTextToDate, WithoutMilliseconds) {
    EXPECT_NEAR(k8March2013 + (13 * 3600 + 47 * 60 + 20) * kSecond, DateOf("2013-03-08T13:47:20"), 1e-9);
}

TEST(TimeTextToDate, ZoneDesignatorsAreNotApplied) {
    EXPECT_DOUBLE_EQ(DateOf("2013-03-08T13:47:20"), DateOf("2013-03-08T13:47:20+05:00"));
    EXPECT_DOUBLE_EQ(DateOf("2013-03-08T13:47:20.000"), DateOf("2013-03-08T13:47:20.000-08:00"));
}

TEST(TimeTextToDate, MidnightAndSingleDigitFields) {
    EXPECT_DOUBLE_EQ(k8March2013, DateOf("2013-03-08T00:00:00"));
    EXPECT_DOUBLE_EQ(DateOf("2013-03-08T01:02:03"), DateOf("2013-3-8T1:2:3"));
}

TEST(TimeTextToDate, TooLittleTextIsEmpty) {
    for (const char* text : {"2013-03-08", "2013-03-08T13:47", "", "yesterday", "2013/03/08 13:47:20",
                             "2013-03-08 13:47:20", "20130308T134720"}) {
        EXPECT_EQ(VT_EMPTY, ZELKXML::TimeTextToDate(Ole(text).c_str()).Type()) << text;
    }
    EXPECT_EQ(VT_EMPTY, ZELKXML::TimeTextToDate(nullptr).Type());
}

TEST(TimeTextToDate, AMonthPastTwelveGivesDateZero) {
    Variant month13 = ZELKXML::TimeTextToDate(OLESTR("2013-13-08T00:00:00"));
    ASSERT_EQ(VT_DATE, month13.Type());
    EXPECT_EQ(0.0, month13.Get().date);
}

TEST(TimeTextToDate, MonthZeroGivesDateZero) {
    Variant month0 = ZELKXML::TimeTextToDate(OLESTR("2013-00-08T00:00:00"));
    ASSERT_EQ(VT_DATE, month0.Type());
    EXPECT_EQ(0.0, month0.Get().date);
}

TEST(TimeTextToDate, FieldWidthsLimitTheDigitsRead) {
    // Five year digits: the fifth is where "-" is expected, so nothing after the year matches.
    EXPECT_EQ(VT_EMPTY, ZELKXML::TimeTextToDate(OLESTR("20130-03-08T00:00:00")).Type());
    // Three digits of seconds: the third is read as the text after the seconds; no dot, no milliseconds.
    EXPECT_NEAR(k8March2013 + 12 * kSecond, DateOf("2013-03-08T00:00:123"), 1e-9);
}
}  // namespace
