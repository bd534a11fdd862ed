// Script text as resources store it: UTF-8 to UTF-16 (surrogate pairs beyond
// the BMP), bytes that are not UTF-8 taken as Latin-1, keywords upper-cased.
#include <gtest/gtest.h>

#include <string>

#include "Text.h"

namespace {

using rcgen::ToUtf16;

TEST(TextTest, DecodesUtf8IntoUtf16) {
    EXPECT_EQ(ToUtf16(""), u"");
    EXPECT_EQ(ToUtf16("Name"), u"Name");
    EXPECT_EQ(ToUtf16("\xC3\x89t\xC3\xA9"), u"\u00C9t\u00E9");
    EXPECT_EQ(ToUtf16("\xE2\x82\xAC 5"), u"\u20AC 5");
    EXPECT_EQ(ToUtf16("\xF0\x9F\x98\x80"), std::u16string({0xD83D, 0xDE00}));
}

// Scripts saved in the ANSI code page rather than UTF-8 keep their accents.
TEST(TextTest, BytesThatAreNotUtf8AreLatin1) {
    EXPECT_EQ(ToUtf16("Caf\xE9"), u"Caf\u00E9");
    EXPECT_EQ(ToUtf16("\xE9t\xE9"), u"\u00E9t\u00E9");
    EXPECT_EQ(ToUtf16("end \xC3"), u"end \u00C3");                       // a sequence cut short by the end
    EXPECT_EQ(ToUtf16("\xE2\x82x"), std::u16string({0xE2, 0x82, 'x'}));  // and by a byte that cannot continue it
}

TEST(TextTest, UpperCasesAsciiOnly) { EXPECT_EQ(rcgen::Upper("registry_2 \xC3\xA9"), "REGISTRY_2 \xC3\xA9"); }

}  // namespace
