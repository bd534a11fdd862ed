// GUID text forms and fresh GUIDs.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

std::u16string TextOf(const GUID& guid) {
    OLECHAR text[39];
    EXPECT_EQ(39, StringFromGUID2(guid, text, 39));
    return text;
}

TEST(GuidText, RoundTripsTheBracedForm) {
    const GUID guid = {0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
    EXPECT_EQ(u"{1CF2B120-547D-101B-8E65-08002B2BD119}", TextOf(guid));
    GUID parsed{};
    ASSERT_EQ(S_OK, IIDFromString(u"{1cf2b120-547d-101b-8e65-08002b2bd119}", &parsed));
    EXPECT_TRUE(IsEqualGUID(guid, parsed));
    ASSERT_EQ(S_OK, CLSIDFromString(u"{1CF2B120-547D-101B-8E65-08002B2BD119}", &parsed));
    EXPECT_TRUE(IsEqualGUID(guid, parsed));
    OLECHAR small[38];
    EXPECT_EQ(0, StringFromGUID2(guid, small, 38));
}

TEST(GuidText, RefusesMalformedText) {
    const char16_t* bad[] = {u"{1CF2B120-547D-101B-8E65-08002B2BD11}",
                             u"{1CF2B120-547D-101B-8E65-08002B2BD1199}",
                             u"1CF2B120-547D-101B-8E65-08002B2BD119",
                             u"{1CF2B120+547D-101B-8E65-08002B2BD119}",
                             u"{1CF2B12G-547D-101B-8E65-08002B2BD119}",
                             u"{}",
                             u""};
    for (const char16_t* text : bad) {
        GUID parsed{};
        std::u16string shown(text);
        EXPECT_EQ(E_INVALIDARG, IIDFromString(text, &parsed)) << std::string(shown.begin(), shown.end());
    }
    GUID parsed{};
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromString(u"{not a guid}", &parsed));
    EXPECT_TRUE(IsEqualGUID(GUID_NULL, parsed));
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromString(u"No.Such.ProgId", &parsed));
}

TEST(CoCreateGuid, MakesDistinctVersionFourGuids) {
    std::set<std::u16string> seen;
    for (int i = 0; i < 1000; ++i) {
        GUID guid{};
        ASSERT_EQ(S_OK, CoCreateGuid(&guid));
        EXPECT_EQ(0x4000, guid.Data3 & 0xF000);
        EXPECT_EQ(0x80, guid.Data4[0] & 0xC0);
        seen.insert(TextOf(guid));
    }
    EXPECT_EQ(1000u, seen.size());
    EXPECT_EQ(E_INVALIDARG, CoCreateGuid(nullptr));
}

}  // namespace
