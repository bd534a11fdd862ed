// Names compared without regard to case: only ASCII letters fold in the
// ASCII comparison, whatever bytes or units stand around them; the registry
// fold adds the Latin-1 letters and nothing else.
#include <gtest/gtest.h>

#include <string>

#include "common/CaseCompare.h"

namespace {

using wincompat::AsciiLower;
using wincompat::AsciiUpper;
using wincompat::EqualsIgnoringAsciiCase;
using wincompat::FoldCase;
using wincompat::Folded;

TEST(AsciiCase, LettersFoldEitherWay) {
    EXPECT_TRUE(EqualsIgnoringAsciiCase(std::string_view("SQLite"), std::string_view("sqlite")));
    EXPECT_TRUE(EqualsIgnoringAsciiCase(std::string_view("@Name_1"), std::string_view("@nAME_1")));
    EXPECT_TRUE(EqualsIgnoringAsciiCase(std::string_view(""), std::string_view("")));
    EXPECT_FALSE(EqualsIgnoringAsciiCase(std::string_view("SQLite"), std::string_view("SQLite3")));
    EXPECT_FALSE(EqualsIgnoringAsciiCase(std::string_view("OUT"), std::string_view("OUTPUT")));
    EXPECT_TRUE(EqualsIgnoringAsciiCase(std::u16string_view(u"ProviderName"), std::u16string_view(u"PROVIDERname")));
    EXPECT_FALSE(EqualsIgnoringAsciiCase(std::u16string_view(u"Name"), std::u16string_view(u"Names")));
}

// The neighbours of the letters differ from their lower-case partners in the
// same bit as the letters do: '@' and '`', '[' and '{', '^' and '~'.
TEST(AsciiCase, PunctuationBesideTheLettersDoesNotFold) {
    EXPECT_FALSE(EqualsIgnoringAsciiCase(std::string_view("@"), std::string_view("`")));
    EXPECT_FALSE(EqualsIgnoringAsciiCase(std::string_view("["), std::string_view("{")));
    EXPECT_FALSE(EqualsIgnoringAsciiCase(std::string_view("^_"), std::string_view("~\x7F")));
    EXPECT_FALSE(EqualsIgnoringAsciiCase(std::u16string_view(u"]\\"), std::u16string_view(u"}|")));
    EXPECT_EQ('@', AsciiLower('@'));
    EXPECT_EQ('[', AsciiLower('['));
    EXPECT_EQ('`', AsciiUpper('`'));
    EXPECT_EQ('{', AsciiUpper('{'));
}

// UTF-8 and Latin-1 bytes (negative as char) never fold: É and é differ in
// bit 5 of their last byte just as ASCII letters do.
TEST(AsciiCase, NonAsciiBytesDoNotFold) {
    EXPECT_FALSE(EqualsIgnoringAsciiCase(std::string_view("caf\xC3\x89"), std::string_view("caf\xC3\xA9")));
    EXPECT_FALSE(EqualsIgnoringAsciiCase(std::string_view("\xC9"), std::string_view("\xE9")));
    EXPECT_FALSE(EqualsIgnoringAsciiCase(std::string_view("\xC1"), std::string_view("\xE1")));
    EXPECT_TRUE(EqualsIgnoringAsciiCase(std::string_view("X\xC3\xA9"), std::string_view("x\xC3\xA9")));
    for (int byte = 0x80; byte < 0x100; ++byte) {
        const char c = static_cast<char>(byte);
        EXPECT_EQ(c, AsciiLower(c)) << byte;
        EXPECT_EQ(c, AsciiUpper(c)) << byte;
    }
}

TEST(AsciiCase, NonAsciiUnitsDoNotFold) {
    EXPECT_FALSE(EqualsIgnoringAsciiCase(std::u16string_view(u"\u00C9"), std::u16string_view(u"\u00E9")));
    EXPECT_FALSE(EqualsIgnoringAsciiCase(std::u16string_view(u"\u212A"), std::u16string_view(u"k")));  // Kelvin sign
    EXPECT_FALSE(EqualsIgnoringAsciiCase(std::u16string_view(u"\u0130"), std::u16string_view(u"i")));  // dotted I
    EXPECT_FALSE(EqualsIgnoringAsciiCase(std::u16string_view(u"\u0141"), std::u16string_view(u"a")));  // 'A' + 0x100
    EXPECT_TRUE(EqualsIgnoringAsciiCase(std::u16string_view(u"STRA\u00DFE"), std::u16string_view(u"stra\u00DFe")));
    EXPECT_FALSE(EqualsIgnoringAsciiCase(std::u16string_view(u"STRASSE"), std::u16string_view(u"stra\u00DFe")));
    for (char32_t unit = 0x80; unit < 0x10000; ++unit) {
        const char16_t c = static_cast<char16_t>(unit);
        if (AsciiLower(c) != c || AsciiUpper(c) != c) ADD_FAILURE() << "U+" << std::hex << unit << " folds";
    }
}

// Registry, type library and module names fold Latin-1 letters too.
TEST(RegistryCase, LatinOneLettersFoldButNothingElse) {
    EXPECT_EQ(u'z', FoldCase(u'Z'));
    EXPECT_EQ(u'\u00E9', FoldCase(u'\u00C9'));
    EXPECT_EQ(u'\u00E0', FoldCase(u'\u00C0'));
    EXPECT_EQ(u'\u00FE', FoldCase(u'\u00DE'));
    EXPECT_EQ(u'\u00D7', FoldCase(u'\u00D7'));  // the multiplication sign has no lower case
    EXPECT_EQ(u'\u00DF', FoldCase(u'\u00DF'));  // nor has sharp s
    EXPECT_EQ(u'\u00BF', FoldCase(u'\u00BF'));
    EXPECT_EQ(u'\u0178', FoldCase(u'\u0178'));
    EXPECT_EQ(u'@', FoldCase(u'@'));
    EXPECT_EQ(u'[', FoldCase(u'['));
    EXPECT_EQ(u"software\\classes\\cl\u00e9", Folded(u"SOFTWARE\\Classes\\CL\u00C9"));
}

}  // namespace
