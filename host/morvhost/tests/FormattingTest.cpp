// The texts morvhost shows for what the database stores: addresses and
// masks from their 16-byte form, time arguments in the stored form, JSON.
#include <gtest/gtest.h>

#include <sstream>

#include "Formatting.h"
#include "HostError.h"

namespace {

using morvhost::Bytes;

Bytes Mapped(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, a, b, c, d};
}

TEST(AddressText, Ipv4MappedAddressesAreDottedAndOthersCompressedIpv6) {
    EXPECT_EQ(morvhost::AddressText(Mapped(10, 1, 2, 3)), "10.1.2.3");
    EXPECT_EQ(morvhost::AddressText(Mapped(0, 0, 0, 0)), "0.0.0.0");
    EXPECT_EQ(morvhost::AddressText(Bytes(16, 0)), "::") << "the unspecified address of an unreadable text";
    Bytes linkLocal(16, 0);
    linkLocal[0] = 0xFE;
    linkLocal[1] = 0x80;
    linkLocal[15] = 1;
    EXPECT_EQ(morvhost::AddressText(linkLocal), "fe80::1");
    Bytes almostMapped = Mapped(10, 1, 2, 3);
    almostMapped[9] = 1;  // not the IPv4-mapped prefix: shown as IPv6
    EXPECT_EQ(morvhost::AddressText(almostMapped), "::1:ffff:a01:203");
    EXPECT_EQ(morvhost::AddressText(Bytes{0x0A, 0x01}), "0A01") << "not 16 bytes: shown as hex";
    EXPECT_EQ(morvhost::AddressText(Bytes{}), "");
}

TEST(PrefixLength, ContiguousMasksCountTheirBitsIpv4MappedOnesTheIpv4Part) {
    EXPECT_EQ(morvhost::PrefixLength(Mapped(255, 255, 255, 0)), 24);
    EXPECT_EQ(morvhost::PrefixLength(Mapped(255, 255, 252, 0)), 22);
    EXPECT_EQ(morvhost::PrefixLength(Mapped(255, 255, 255, 255)), 32);
    EXPECT_EQ(morvhost::PrefixLength(Mapped(0, 0, 0, 0)), 0);
    Bytes v6(16, 0);
    for (int i = 0; i < 8; ++i) v6[i] = 0xFF;
    EXPECT_EQ(morvhost::PrefixLength(v6), 64);
    EXPECT_EQ(morvhost::PrefixLength(Bytes(16, 0xFF)), 128);
    EXPECT_EQ(morvhost::PrefixLength(Mapped(255, 0, 255, 0)), std::nullopt);
    EXPECT_EQ(morvhost::PrefixLength(Mapped(255, 255, 255, 1)), std::nullopt);
    EXPECT_EQ(morvhost::PrefixLength(Bytes(4, 0xFF)), std::nullopt);
    EXPECT_EQ(morvhost::SubnetText(Mapped(10, 9, 0, 0), Mapped(255, 0, 255, 0)), "10.9.0.0/255.0.255.0");
}

TEST(StoredTimeText, AcceptedFormsBecomeTheStoredForm) {
    EXPECT_EQ(morvhost::StoredTimeText("2013-03-08"), "2013-03-08 00:00:00.000");
    EXPECT_EQ(morvhost::StoredTimeText("2013-03-08 13:41"), "2013-03-08 13:41:00.000");
    EXPECT_EQ(morvhost::StoredTimeText("2013-03-08T13:41:12Z"), "2013-03-08 13:41:12.000");
    EXPECT_EQ(morvhost::StoredTimeText("2013-03-08T13:41:12.5"), "2013-03-08 13:41:12.500");
    EXPECT_EQ(morvhost::StoredTimeText("2013-03-08 13:41:12.123456Z"), "2013-03-08 13:41:12.123");
    EXPECT_EQ(morvhost::StoredTimeText("2012-02-29"), "2012-02-29 00:00:00.000");
    for (const char* bad : {"", "2013", "2013-03", "2013-02-29", "1900-02-29", "2013-04-31", "2013-00-10",
                            "2013-03-08T", "2013-03-08 7:00", "2013-03-08 13:60", "2013-03-08 13:41:60",
                            "2013-03-08 13:41:12.", "2013-03-08 13:41Z0", " 2013-03-08", "2013-03-08+01:00"})
        EXPECT_THROW(morvhost::StoredTimeText(bad), morvhost::HostError) << bad;
}

TEST(Json, TextsAreEscapedAndStructuresIndented) {
    std::ostringstream out;
    morvhost::Json::Object()
        .Set("text", morvhost::Json::Text("a\"b\\c\n\x01\xC3\xA9"))
        .Set("list", morvhost::Json::Array().Add(morvhost::Json::Number(-7)).Add(morvhost::Json()))
        .Set("empty", morvhost::Json::Object())
        .Set("flag", morvhost::Json::Bool(false))
        .Write(out);
    EXPECT_EQ(out.str(),
              "{\n"
              "  \"text\": \"a\\\"b\\\\c\\n\\u0001\xC3\xA9\",\n"
              "  \"list\": [\n"
              "    -7,\n"
              "    null\n"
              "  ],\n"
              "  \"empty\": {},\n"
              "  \"flag\": false\n"
              "}");
}

TEST(Base64Text, PadsTheLastGroup) {
    EXPECT_EQ(morvhost::Base64Text({}), "");
    EXPECT_EQ(morvhost::Base64Text({'f'}), "Zg==");
    EXPECT_EQ(morvhost::Base64Text({'f', 'o'}), "Zm8=");
    EXPECT_EQ(morvhost::Base64Text({'f', 'o', 'o'}), "Zm9v");
    EXPECT_EQ(morvhost::Base64Text({0xFB, 0xFF}), "+/8=");
}

}  // namespace
