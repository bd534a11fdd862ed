// UTF-8 <-> UTF-16 conversion as Windows performs it for CP_UTF8.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// Converts the whole byte string (explicit length) and returns the UTF-16 result,
// or the last error as a negative number-of-units marker via `error`.
std::u16string ToWide(const std::string& bytes, DWORD flags = 0, DWORD* error = nullptr) {
    SetLastError(0);
    int size = MultiByteToWideChar(CP_UTF8, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (error) *error = GetLastError();
    if (size == 0) return u"<fail>";
    std::u16string out(static_cast<size_t>(size), u'\0');
    EXPECT_EQ(size, MultiByteToWideChar(CP_UTF8, flags, bytes.data(), static_cast<int>(bytes.size()), &out[0], size));
    return out;
}

std::string ToNarrow(const std::u16string& text, DWORD flags = 0, DWORD* error = nullptr) {
    SetLastError(0);
    int size =
        WideCharToMultiByte(CP_UTF8, flags, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (error) *error = GetLastError();
    if (size == 0) return "<fail>";
    std::string out(static_cast<size_t>(size), '\0');
    EXPECT_EQ(size, WideCharToMultiByte(CP_UTF8, flags, text.data(), static_cast<int>(text.size()), &out[0], size,
                                        nullptr, nullptr));
    return out;
}

TEST(MultiByteToWideChar, ConvertsAsciiMultiByteAndSurrogatePairs) {
    EXPECT_EQ(u"abc", ToWide("abc"));
    EXPECT_EQ(u"\u00e9\u20ac", ToWide("\xC3\xA9\xE2\x82\xAC"));
    EXPECT_EQ(std::u16string(u"\xD83D\xDE00"), ToWide("\xF0\x9F\x98\x80"));  // U+1F600
    EXPECT_EQ(std::u16string(u"\xDBFF\xDFFF"), ToWide("\xF4\x8F\xBF\xBF"));  // U+10FFFF
}

TEST(MultiByteToWideChar, MinusOneLengthCountsAndWritesTheTerminator) {
    EXPECT_EQ(4, MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 0));
    WCHAR buffer[8];
    for (auto& c : buffer) c = u'x';
    ASSERT_EQ(4, MultiByteToWideChar(CP_UTF8, 0, "abc", -1, buffer, 8));
    EXPECT_EQ(std::u16string(u"abc"), std::u16string(buffer));
    // An explicit length does not add a terminator.
    for (auto& c : buffer) c = u'x';
    ASSERT_EQ(2, MultiByteToWideChar(CP_UTF8, 0, "abc", 2, buffer, 8));
    EXPECT_EQ(u'x', buffer[2]);
}

TEST(MultiByteToWideChar, IllFormedInputBecomesReplacementCharacters) {
    const std::u16string r(1, u'\xFFFD');
    EXPECT_EQ(u"a" + r + u"b", ToWide("a\xFF"
                                      "b"));
    EXPECT_EQ(r + r, ToWide("\xC0\x80"));                  // overlong NUL
    EXPECT_EQ(r + r + r, ToWide("\xE0\x80\xAF"));          // overlong '/'
    EXPECT_EQ(r + r + r, ToWide("\xED\xA0\x80"));          // an encoded surrogate
    EXPECT_EQ(r + r + r + r, ToWide("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_EQ(u"x" + r, ToWide("x\xE2\x82"));              // truncated sequence: one replacement
    EXPECT_EQ(r + u"y", ToWide("\xE2\x82y"));
    EXPECT_EQ(r, ToWide("\x80"));  // lone continuation byte
    EXPECT_EQ(r + u"AB", ToWide("\xC0"
                                "AB"));                                    // a lead byte that can begin nothing
    EXPECT_EQ(r + u"!", ToWide("\xF0\x9F\x98!"));                          // a four-byte form cut short
    EXPECT_EQ(r + r + r + r + r + r, ToWide("\xED\xA0\x80\xED\xB0\x80"));  // surrogates encoded one by one
}

TEST(MultiByteToWideChar, ErrorFlagRefusesIllFormedInput) {
    DWORD error = 0;
    EXPECT_EQ(u"<fail>", ToWide("ok\xC3", MB_ERR_INVALID_CHARS, &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION), error);
    EXPECT_EQ(u"ok\u00e9", ToWide("ok\xC3\xA9", MB_ERR_INVALID_CHARS));
}

TEST(MultiByteToWideChar, RefusesBadArguments) {
    WCHAR buffer[4];
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abc", 0, buffer, 4));  // empty input
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, nullptr, 3, buffer, 4));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abc", -2, buffer, 4));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "abc", 3, buffer, 4));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FLAGS), GetLastError());
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(1252, 0, "abc", 3, buffer, 4));  // no such code page here
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abc", 3, nullptr, 4));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(MultiByteToWideChar, ReportsABufferTooSmall) {
    WCHAR buffer[3];
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abc", -1, buffer, 3));  // needs 4 with the terminator
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(3, MultiByteToWideChar(CP_UTF8, 0, "abc", 3, buffer, 3));
}

// Runs of ASCII between other characters convert as they are, also where an
// ill-formed byte or the end of a too small buffer interrupts them.
TEST(MultiByteToWideChar, AsciiRunsBetweenOtherCharacters) {
    const std::u16string r(1, u'\xFFFD');
    EXPECT_EQ(u"name=caf\u00e9; " + r + u"tail", ToWide("name=caf\xC3\xA9; \xFFtail"));
    WCHAR buffer[6];
    for (auto& c : buffer) c = u'x';
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abcdefgh", 8, buffer, 5));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(u'x', buffer[5]);  // nothing written past the buffer given
    EXPECT_EQ("abcdefgh\xE2\x82\xAC-", ToNarrow(u"abcdefgh\u20ac-"));
    char narrow[4];
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, u"abcdef", 6, narrow, 4, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

TEST(MultiByteToWideChar, AnsiCodePageIsUtf8) {
    WCHAR buffer[4];
    ASSERT_EQ(2, MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "\xC3\xA9", -1, buffer, 4));
    EXPECT_EQ(u'\u00e9', buffer[0]);
}

TEST(WideCharToMultiByte, ConvertsAndPairsSurrogates) {
    EXPECT_EQ("abc", ToNarrow(u"abc"));
    EXPECT_EQ("\xC3\xA9\xE2\x82\xAC", ToNarrow(u"\u00e9\u20ac"));
    EXPECT_EQ("\xF0\x9F\x98\x80", ToNarrow(std::u16string(u"\xD83D\xDE00")));
    EXPECT_EQ(4, WideCharToMultiByte(CP_UTF8, 0, u"abc", -1, nullptr, 0, nullptr, nullptr));
}

TEST(WideCharToMultiByte, UnpairedSurrogatesBecomeReplacementCharacters) {
    const std::string r = "\xEF\xBF\xBD";
    EXPECT_EQ("a" + r + "b", ToNarrow(std::u16string(u"a\xD800"
                                                     u"b")));
    EXPECT_EQ(r + "a", ToNarrow(std::u16string(u"\xDC00"
                                               u"a")));
    EXPECT_EQ("x" + r, ToNarrow(std::u16string(u"x\xD83D")));     // high surrogate at the end
    EXPECT_EQ(r + r, ToNarrow(std::u16string(u"\xDE00\xD83D")));  // reversed pair
    DWORD error = 0;
    EXPECT_EQ("<fail>", ToNarrow(std::u16string(u"a\xD800"), WC_ERR_INVALID_CHARS, &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION), error);
}

TEST(WideCharToMultiByte, AnsiCodePageReportsReplacedCharacters) {
    char buffer[8];
    BOOL usedDefault = FALSE;
    const char16_t broken[] = {u'a', 0xD800};
    ASSERT_EQ(4, WideCharToMultiByte(CP_ACP, 0, broken, 2, buffer, 8, nullptr, &usedDefault));
    EXPECT_TRUE(usedDefault);
    ASSERT_EQ(1, WideCharToMultiByte(CP_ACP, 0, u"a", 1, buffer, 8, nullptr, &usedDefault));
    EXPECT_FALSE(usedDefault);
}

TEST(WideCharToMultiByte, RefusesBadArgumentsAndSmallBuffers) {
    char buffer[4];
    BOOL usedDefault = FALSE;
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, u"a", 1, buffer, 4, nullptr, &usedDefault));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, u"a", 0, buffer, 4, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, u"a", 1, buffer, 4, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FLAGS), GetLastError());
    // A multi-byte character is never split to fit.
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, u"a\u20ac", 2, buffer, 3, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(4, WideCharToMultiByte(CP_UTF8, 0, u"a\u20ac", 2, buffer, 4, nullptr, nullptr));
}

TEST(CodePageConversion, RoundTripsEveryBmpCharacterAndSupplementaryPlanes) {
    std::u16string all;
    for (char32_t c = 1; c < 0x10000; ++c)
        if (c < 0xD800 || c > 0xDFFF) all.push_back(static_cast<char16_t>(c));
    all += u"\xD800\xDC00\xDBFF\xDFFF";
    std::string narrow = ToNarrow(all, WC_ERR_INVALID_CHARS);
    EXPECT_EQ(all, ToWide(narrow, MB_ERR_INVALID_CHARS));
}

}  // namespace
