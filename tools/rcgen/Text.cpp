// Text conversions of rcgen: ASCII upper case for keywords and names, and the
// UTF-16 form that resources store their text in.
#include "Text.h"

#include "common/CaseCompare.h"
#include "common/Utf.h"

namespace rcgen {

std::string Upper(std::string text) {
    for (char& c : text) c = wincompat::AsciiUpper(c);
    return text;
}

std::u16string ToUtf16(const std::string& text) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t start = i;
        char32_t codePoint = 0;
        if (!wincompat::DecodeUtf8CodePoint(bytes, text.size(), i, codePoint)) {
            // Not UTF-8: this one byte is Latin-1, and decoding goes on after it.
            out.push_back(bytes[start]);
            i = start + 1;
        } else if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(codePoint));
        }
    }
    return out;
}

}  // namespace rcgen
