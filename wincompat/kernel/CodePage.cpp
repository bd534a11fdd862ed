// Code-page conversion between UTF-16 and UTF-8. The ANSI and OEM code pages
// of this platform are UTF-8, so CP_ACP, CP_OEMCP and CP_THREAD_ACP convert as
// CP_UTF8 does. Ill-formed input becomes U+FFFD, one per maximal ill-formed
// subsequence as Windows does, unless the caller asks for the error instead.
#include <windows.h>

#include <cstring>

#include "common/Utf.h"

namespace {
// Flags the ANSI code page accepts; they change nothing for UTF-8 text.
constexpr DWORD kAnsiMultiByteFlags = MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
constexpr DWORD kAnsiWideFlags =
    WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_COMPOSITECHECK | WC_NO_BEST_FIT_CHARS | WC_ERR_INVALID_CHARS;

bool IsUtf8CodePage(UINT codePage) {
    return codePage == CP_UTF8 || codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP;
}

int Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

size_t Utf16Length(const char16_t* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}
}  // namespace

extern "C" int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                          LPWSTR lpWideCharStr, int cchWideChar) {
    if (!IsUtf8CodePage(CodePage)) return Fail(ERROR_INVALID_PARAMETER);
    DWORD allowed = CodePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : kAnsiMultiByteFlags;
    if (dwFlags & ~allowed) return Fail(ERROR_INVALID_FLAGS);
    if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && !lpWideCharStr) ||
        static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr))
        return Fail(ERROR_INVALID_PARAMETER);

    // A length of -1 takes the text up to and including its terminator.
    size_t length = cbMultiByte == -1 ? strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    wincompat::BoundedSink<char16_t> converted(lpWideCharStr, static_cast<size_t>(cchWideChar));
    const auto* bytes = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
    bool wellFormed = wincompat::DecodeUtf8Text(bytes, length, converted);
    if (!wellFormed && (dwFlags & MB_ERR_INVALID_CHARS)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
    if (converted.Count() > static_cast<size_t>(INT32_MAX)) return Fail(ERROR_INVALID_PARAMETER);
    int needed = static_cast<int>(converted.Count());
    if (cchWideChar == 0) return needed;
    if (needed > cchWideChar) return Fail(ERROR_INSUFFICIENT_BUFFER);
    return needed;
}

extern "C" int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                                          LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                          LPBOOL lpUsedDefaultChar) {
    if (!IsUtf8CodePage(CodePage)) return Fail(ERROR_INVALID_PARAMETER);
    DWORD allowed = CodePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : kAnsiWideFlags;
    if (dwFlags & ~allowed) return Fail(ERROR_INVALID_FLAGS);
    // UTF-8 can encode everything, so Windows refuses a default character for it.
    if (CodePage == CP_UTF8 && (lpDefaultChar || lpUsedDefaultChar)) return Fail(ERROR_INVALID_PARAMETER);
    if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && !lpMultiByteStr) ||
        static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr))
        return Fail(ERROR_INVALID_PARAMETER);

    size_t length = cchWideChar == -1 ? Utf16Length(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);
    wincompat::BoundedSink<char> converted(lpMultiByteStr, static_cast<size_t>(cbMultiByte));
    bool wellFormed = wincompat::EncodeUtf8(lpWideCharStr, length, converted);
    if (!wellFormed && (dwFlags & WC_ERR_INVALID_CHARS)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
    if (lpUsedDefaultChar) *lpUsedDefaultChar = wellFormed ? FALSE : TRUE;
    if (converted.Count() > static_cast<size_t>(INT32_MAX)) return Fail(ERROR_INVALID_PARAMETER);
    int needed = static_cast<int>(converted.Count());
    if (cbMultiByte == 0) return needed;
    if (needed > cbMultiByte) return Fail(ERROR_INSUFFICIENT_BUFFER);
    return needed;
}
