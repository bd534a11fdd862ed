// UTF-8 <-> UTF-16 for wincompat's own files and names (registry hives,
// resource names, module paths), by the platform's code-page conversion: an
// ill-formed sequence becomes U+FFFD as MultiByteToWideChar makes it.
#pragma once
#include <stdint.h>

#include <string>
#include <string_view>

#include "winnls.h"

namespace wincompat {

// Each converts in one call, into a buffer sized for the longest result: never
// more UTF-16 units than UTF-8 bytes, never more than 3 bytes per UTF-16 unit.
inline std::u16string Utf8ToUtf16(std::string_view text) {
    if (text.empty() || text.size() > static_cast<size_t>(INT32_MAX)) return std::u16string();
    std::u16string out(text.size(), u'\0');
    const int length = static_cast<int>(text.size());
    const int written = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, out.data(), length);
    out.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return out;
}

inline std::string Utf16ToUtf8(std::u16string_view text) {
    if (text.empty() || text.size() > static_cast<size_t>(INT32_MAX) / 3) return std::string();
    std::string out(text.size() * 3, '\0');
    const int written = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                            static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return out;
}

inline std::u16string Utf16FromPointer(const char16_t* text) {
    return text ? std::u16string(text) : std::u16string();
}

// Registry and module names compare without regard to case (ASCII and Latin-1 letters).
inline char16_t FoldCase(char16_t c) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<char16_t>(c + 32);
    return c;
}
inline std::u16string Folded(const std::u16string& text) {
    std::u16string out(text);
    for (char16_t& c : out) c = FoldCase(c);
    return out;
}

}  // namespace wincompat
