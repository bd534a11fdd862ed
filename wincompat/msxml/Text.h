// Text conversions between the DOM's UTF-16 strings and libxml2's UTF-8.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "common/Bstr.h"

namespace wincompat::msxml {

// Strict UTF-16 to UTF-8: false (and `out` unspecified) on an unpaired surrogate.
bool Utf16ToUtf8(const char16_t* text, size_t length, std::string& out);
// libxml2's strings, a null one being the empty string: decoded by
// common/Utf.h and common/Bstr.h, whose conversions of whole strings the DOM
// uses besides.
using wincompat::AllocBstrFromUtf8;
using wincompat::Utf8ToUtf16;
std::u16string Utf8ToUtf16(const unsigned char* text);
BSTR AllocBstrFromUtf8(const unsigned char* text);

// A VARIANT as text, as MSXML takes a value: strings as they are, anything
// else through the automation conversion to a string. E_INVALIDARG when the
// text holds an unpaired surrogate or a NUL, which XML cannot carry.
HRESULT VariantToUtf8(const VARIANT& value, std::string& utf8);

// Writes a BSTR result: S_OK, E_POINTER for a null destination, E_OUTOFMEMORY.
HRESULT ReturnBstr(const std::u16string& text, BSTR* out);

}  // namespace wincompat::msxml
