// BSTRs made from UTF-16 and UTF-8 strings and read as UTF-16, by the
// library's COM objects.
#pragma once
#include <oleauto.h>
#include <stdint.h>

#include <string>
#include <string_view>

#include "common/Utf.h"

namespace wincompat {

// A newly allocated BSTR of `text`, or null when memory runs out.
inline BSTR AllocBstr(std::u16string_view text) {
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// A newly allocated BSTR of UTF-8 `text`, decoded as Utf8ToUtf16 decodes
// (its NULs kept), or null when memory runs out. ASCII, the usual text, is
// widened straight into the string; other text is decoded once and copied,
// which costs less than measuring it first. Text longer than a conversion
// takes reads as empty.
inline BSTR AllocBstrFromUtf8(std::string_view text) {
    if (text.size() > static_cast<size_t>(INT32_MAX)) return SysAllocStringLen(nullptr, 0);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    if (!IsAscii(bytes, text.size())) return AllocBstr(Utf8ToUtf16(text));
    BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(text.size()));
    if (out) UnitWriter<char16_t>(out).PutAscii(bytes, text.size());
    return out;
}

// The characters of a BSTR (a null BSTR is the empty string).
inline std::u16string_view BstrView(BSTR text) {
    return text ? std::u16string_view(text, SysStringLen(text)) : std::u16string_view();
}
inline std::u16string BstrText(BSTR text) { return std::u16string(BstrView(text)); }

}  // namespace wincompat
