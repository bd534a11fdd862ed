// The library's UTF-8 <-> UTF-16 codec: ill-formed input refused as the
// code-page conversion refuses it, and the header-only conversions (strings,
// BSTRs, the DOM's) agreeing with MultiByteToWideChar and WideCharToMultiByte
// on every kind of input.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Bstr.h"
#include "common/Utf.h"
#include "msxml/Text.h"

namespace {

using wincompat::Utf16ToUtf8;
using wincompat::Utf8ToUtf16;

const std::u16string kR(1, wincompat::kReplacementCharacter);

std::u16string ThroughCodePage(const std::string& bytes) {
    if (bytes.empty()) return std::u16string();
    const int length = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, nullptr, 0);
    std::u16string out(static_cast<size_t>(units), u'\0');
    EXPECT_EQ(units, MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, out.data(), units));
    return out;
}

std::u16string ThroughBstr(const std::string& bytes) {
    BSTR made = wincompat::AllocBstrFromUtf8(bytes);
    std::u16string text = made ? std::u16string(made, SysStringLen(made)) : u"<null>";
    SysFreeString(made);
    return text;
}

// The DOM's conversion of a libxml2 string, which ends at its first NUL.
std::u16string ThroughDom(const std::string& bytes) {
    return wincompat::msxml::Utf8ToUtf16(reinterpret_cast<const unsigned char*>(bytes.c_str()));
}

// Every way the library decodes UTF-8 gives the same text.
void ExpectEveryDecoderGives(const std::u16string& expected, const std::string& bytes) {
    SCOPED_TRACE(::testing::PrintToString(bytes));
    EXPECT_EQ(expected, Utf8ToUtf16(bytes));
    EXPECT_EQ(expected, ThroughCodePage(bytes));
    EXPECT_EQ(expected, ThroughBstr(bytes));
    if (bytes.find('\0') == std::string::npos) {
        EXPECT_EQ(expected, ThroughDom(bytes));
    }
}

TEST(Utf8Decoding, WellFormedTextOfEveryLength) {
    ExpectEveryDecoderGives(u"", "");
    ExpectEveryDecoderGives(u"zelk:Event", "zelk:Event");
    ExpectEveryDecoderGives(u"J\u00fcrgen \u6771\u4eac", "J\xC3\xBCrgen \xE6\x9D\xB1\xE4\xBA\xAC");
    ExpectEveryDecoderGives(u"\u0080\u07FF\u0800\uFFFF", "\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");
    ExpectEveryDecoderGives(std::u16string(u"\xD800\xDC00\xDBFF\xDFFF"), "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF");
    ExpectEveryDecoderGives(std::u16string(u"a\0b", 3), std::string("a\0b", 3));
}

TEST(Utf8Decoding, OverlongFormsAreRefused) {
    ExpectEveryDecoderGives(kR + kR, "\xC0\x80");                    // NUL in two bytes
    ExpectEveryDecoderGives(kR + kR, "\xC1\xBF");                    // DEL in two bytes
    ExpectEveryDecoderGives(kR + kR + kR, "\xE0\x80\xAF");           // '/' in three bytes
    ExpectEveryDecoderGives(kR + kR + kR, "\xE0\x9F\xBF");           // U+07FF in three bytes
    ExpectEveryDecoderGives(kR + kR + kR + kR, "\xF0\x80\x80\xAF");  // '/' in four bytes
    ExpectEveryDecoderGives(kR + kR + kR + kR, "\xF0\x8F\xBF\xBF");  // U+FFFF in four bytes
}

TEST(Utf8Decoding, EncodedSurrogatesAreRefused) {
    ExpectEveryDecoderGives(kR + kR + kR, "\xED\xA0\x80");
    ExpectEveryDecoderGives(kR + kR + kR, "\xED\xBF\xBF");
    ExpectEveryDecoderGives(kR + kR + kR + kR + kR + kR, "\xED\xA0\xBD\xED\xB8\x80");  // a pair, one by one
    ExpectEveryDecoderGives(u"\uD7FF\uE000", "\xED\x9F\xBF\xEE\x80\x80");              // just outside them
}

TEST(Utf8Decoding, CodePointsAboveTheLastAreRefused) {
    ExpectEveryDecoderGives(kR + kR + kR + kR, "\xF4\x90\x80\x80");  // U+110000
    ExpectEveryDecoderGives(kR + kR + kR + kR, "\xF5\x80\x80\x80");
    ExpectEveryDecoderGives(kR + kR + kR + kR, "\xF7\xBF\xBF\xBF");
    ExpectEveryDecoderGives(kR + kR + kR + kR + kR, "\xF8\x88\x80\x80\x80");  // the old five-byte form
    ExpectEveryDecoderGives(kR + u"x" + kR, "\xFEx\xFF");
}

TEST(Utf8Decoding, TruncatedSequencesBecomeOneReplacementEach) {
    ExpectEveryDecoderGives(u"x" + kR, "x\xE2\x82");
    ExpectEveryDecoderGives(kR + u"y", "\xE2\x82y");
    ExpectEveryDecoderGives(kR + u"!", "\xF0\x9F\x98!");
    ExpectEveryDecoderGives(kR + kR, "\xC3\xE2\x82");  // a cut two-byte form, then a cut three-byte form
    ExpectEveryDecoderGives(kR + kR + u"a",
                            "\x80\xBF"
                            "a");  // continuation bytes on their own
}

// All sequences of up to two bytes, and every lead byte before the boundary
// values of the two bytes after it: the header-only conversions agree with
// MultiByteToWideChar on every one.
TEST(Utf8Decoding, AgreesWithTheCodePageOnEveryShortSequence) {
    const unsigned char boundaries[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2, 0xF4, 0xFF};
    std::vector<std::string> inputs;
    for (int a = 0; a < 256; ++a) {
        inputs.push_back(std::string(1, static_cast<char>(a)));
        for (int b = 0; b < 256; ++b) {
            const std::string two{static_cast<char>(a), static_cast<char>(b)};
            inputs.push_back(two);
            if (a < 0xC0) continue;
            for (unsigned char c : boundaries) {
                inputs.push_back(two + static_cast<char>(c));
                for (unsigned char d : {0x41, 0x80, 0xBF})
                    inputs.push_back(two + static_cast<char>(c) + static_cast<char>(d));
            }
        }
    }
    size_t disagreements = 0;
    for (const std::string& bytes : inputs) {
        const std::u16string expected = ThroughCodePage(bytes);
        const bool domReadsAll = bytes.find('\0') == std::string::npos;
        if (Utf8ToUtf16(bytes) != expected || ThroughBstr(bytes) != expected ||
            (domReadsAll && ThroughDom(bytes) != expected)) {
            ADD_FAILURE() << "decoders disagree on " << ::testing::PrintToString(bytes);
            if (++disagreements == 10) break;
        }
    }
}

TEST(Utf8Decoding, ReportsWhetherTheInputWasWellFormed) {
    wincompat::BoundedSink<char16_t> counted(nullptr, 0);
    EXPECT_TRUE(wincompat::DecodeUtf8(reinterpret_cast<const unsigned char*>("a\xC3\xA9"), 3, counted));
    EXPECT_EQ(2u, counted.Count());
    wincompat::BoundedSink<char16_t> refused(nullptr, 0);
    EXPECT_FALSE(wincompat::DecodeUtf8(reinterpret_cast<const unsigned char*>("a\xC3"), 2, refused));
    EXPECT_EQ(2u, refused.Count());
}

// A buffer too small for the text: filled to its end, never past it, and the
// count still says how much room the whole text needs.
TEST(Utf8Decoding, ABoundedSinkNeverWritesPastItsBuffer) {
    const std::string bytes =
        "abc\xF0\x9F\x98\x80"
        "defgh";
    for (size_t room = 0; room <= 10; ++room) {
        std::u16string buffer(12, u'#');
        wincompat::BoundedSink<char16_t> sink(buffer.data(), room);
        wincompat::DecodeUtf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), sink);
        EXPECT_EQ(10u, sink.Count());
        const std::u16string full = std::u16string(
            u"abc\xD83D\xDE00"
            u"defgh");
        EXPECT_EQ(full.substr(0, room), buffer.substr(0, room)) << room;
        EXPECT_EQ(std::u16string(12 - room, u'#'), buffer.substr(room)) << room;
    }
}

TEST(Utf16Encoding, UnpairedSurrogatesBecomeReplacementCharacters) {
    const std::string r = "\xEF\xBF\xBD";
    EXPECT_EQ("a" + r + "b", Utf16ToUtf8(std::u16string(u"a\xD800"
                                                        u"b")));
    EXPECT_EQ(r + "a", Utf16ToUtf8(std::u16string(u"\xDC00"
                                                  u"a")));
    EXPECT_EQ("x" + r, Utf16ToUtf8(std::u16string(u"x\xD83D")));
    EXPECT_EQ(r + r, Utf16ToUtf8(std::u16string(u"\xDE00\xD83D")));  // a pair the wrong way round
    EXPECT_EQ("\xF0\x9F\x98\x80", Utf16ToUtf8(std::u16string(u"\xD83D\xDE00")));
}

// The DOM hands libxml2 only what XML can carry: a text with an unpaired
// surrogate is refused, anything else is encoded as WideCharToMultiByte does.
TEST(Utf16Encoding, TheDomsStrictEncoderAgreesWithTheCodePage) {
    const std::u16string texts[] = {u"plain ascii",
                                    u"caf\u00e9 \u20ac",
                                    std::u16string(u"\xD83D\xDE00 smile"),
                                    std::u16string(u"ab\xD800"),
                                    std::u16string(u"\xDC00"),
                                    std::u16string(u"\u00e9\xD800\xD800\xDC00"),
                                    std::u16string(u"\u00e9\xDBFF")};
    for (const std::u16string& text : texts) {
        SCOPED_TRACE(::testing::PrintToString(Utf16ToUtf8(text)));
        std::string strict;
        const bool encoded = wincompat::msxml::Utf16ToUtf8(text.data(), text.size(), strict);
        const int length = static_cast<int>(text.size());
        const int needed =
            WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length, nullptr, 0, nullptr, nullptr);
        EXPECT_EQ(needed != 0, encoded);
        if (encoded) {
            EXPECT_EQ(Utf16ToUtf8(text), strict);
        }
    }
}

TEST(UtfRoundTrip, EveryScalarValueSurvivesBothWays) {
    std::u16string all;
    for (char32_t c = 1; c < 0x10000; ++c)
        if (c < 0xD800 || c > 0xDFFF) all.push_back(static_cast<char16_t>(c));
    for (char32_t c = 0x10000; c <= 0x10FFFF; c += 0x3FF) {
        all.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
        all.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
    const std::string narrow = Utf16ToUtf8(all);
    EXPECT_EQ(all, Utf8ToUtf16(narrow));
    EXPECT_EQ(all, ThroughBstr(narrow));
    EXPECT_EQ(all, ThroughDom(narrow));
    std::string strict;
    ASSERT_TRUE(wincompat::msxml::Utf16ToUtf8(all.data(), all.size(), strict));
    EXPECT_EQ(narrow, strict);
    const int length = static_cast<int>(all.size());
    std::string byCodePage(static_cast<size_t>(length) * 3, '\0');
    byCodePage.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, all.data(), length, byCodePage.data(),
                                                              static_cast<int>(byCodePage.size()), nullptr, nullptr)));
    EXPECT_EQ(narrow, byCodePage);
}

}  // namespace
