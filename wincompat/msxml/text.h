// Text conversions between the DOM's UTF-16 strings and libxml2's UTF-8.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

namespace wincompat::msxml {

// Strict UTF-16 to UTF-8: false (and `out` unspecified) on an unpaired surrogate.
bool Utf16ToUtf8(const char16_t* text, size_t length, std::string& out);
// libxml2 hands out well-formed UTF-8; a malformed byte becomes U+FFFD.
std::u16string Utf8ToUtf16(const char* text, size_t length);
std::u16string Utf8ToUtf16(const unsigned char* text);

// A newly allocated BSTR, or null when memory runs out.
BSTR AllocBstr(const std::u16string& text);
BSTR AllocBstrFromUtf8(const unsigned char* text);
// Decodes straight into the BSTR, as Utf8ToUtf16 decodes.
BSTR AllocBstrFromUtf8(const char* text, size_t length);

// The characters of a BSTR (a null BSTR is the empty string).
inline std::u16string BstrText(BSTR text) {
    return text ? std::u16string(text, SysStringLen(text)) : std::u16string();
}

inline std::u16string_view BstrView(BSTR text) {
    return text ? std::u16string_view(text, SysStringLen(text)) : std::u16string_view();
}

// A VARIANT as text, as MSXML takes a value: strings as they are, anything
// else through the automation conversion to a string. E_INVALIDARG when the
// text holds an unpaired surrogate or a NUL, which XML cannot carry.
HRESULT VariantToUtf8(const VARIANT& value, std::string& utf8);

// Writes a BSTR result: S_OK, E_POINTER for a null destination, E_OUTOFMEMORY.
HRESULT ReturnBstr(const std::u16string& text, BSTR* out);

}  // namespace wincompat::msxml
