// UTF-8 <-> UTF-16 for wincompat's own files and names (registry hives,
// resource names, module paths), by the platform's code-page conversion: an
// ill-formed sequence becomes U+FFFD as MultiByteToWideChar makes it.
#pragma once
#include <stdint.h>

#include <string>
#include <string_view>

#include "winnls.h"

namespace wincompat {

inline std::u16string Utf8ToUtf16(std::string_view text) {
    if (text.empty() || text.size() > static_cast<size_t>(INT32_MAX)) return std::u16string();
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::u16string out(static_cast<size_t>(needed), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, out.data(), needed);
    return out;
}

inline std::string Utf16ToUtf8(std::u16string_view text) {
    if (text.empty() || text.size() > static_cast<size_t>(INT32_MAX)) return std::string();
    const int length = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), needed, nullptr, nullptr);
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
