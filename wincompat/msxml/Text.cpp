// UTF-16 <-> UTF-8 between the DOM's strings and libxml2 (ASCII in one fast pass, malformed UTF-8
// as U+FFFD, lone surrogates refused), and the BSTRs and VARIANT texts made from them.
#include "msxml/Text.h"

#include "common/Utf.h"

namespace wincompat::msxml {

bool Utf16ToUtf8(const char16_t* text, size_t length, std::string& out) {
    // Runs on every loadXML. The usual text, ASCII only, is narrowed in one
    // pass that also collects every unit's bits (a loop the compiler
    // vectorises); other text is encoded into room for the worst case (3
    // bytes per unit).
    out.resize(length);
    char* narrowed = out.data();
    char16_t seen = 0;
    for (size_t k = 0; k < length; ++k) {
        seen = static_cast<char16_t>(seen | text[k]);
        narrowed[k] = static_cast<char>(text[k] & 0xFF);
    }
    if (seen < 0x80) return true;
    out.resize(length * 3);
    UnitWriter<char> written(out.data());
    if (!EncodeUtf8(text, length, written)) return false;
    out.resize(written.Count());
    return true;
}

std::u16string Utf8ToUtf16(const unsigned char* text) {
    if (!text) return {};
    return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(text)));
}

BSTR AllocBstrFromUtf8(const unsigned char* text) {
    return AllocBstrFromUtf8(std::string_view(text ? reinterpret_cast<const char*>(text) : ""));
}

HRESULT VariantToUtf8(const VARIANT& value, std::string& utf8) {
    const VARIANT* source = &value;
    while (source->vt == (VT_BYREF | VT_VARIANT) && source->pvarVal) source = source->pvarVal;
    std::u16string chars;
    if (source->vt == VT_BSTR) {
        chars = BstrText(source->bstrVal);
    } else if (source->vt == (VT_BYREF | VT_BSTR) && source->pbstrVal) {
        chars = BstrText(*source->pbstrVal);
    } else {
        VARIANT converted;
        VariantInit(&converted);
        HRESULT hr = VariantChangeType(&converted, const_cast<VARIANT*>(source), 0, VT_BSTR);
        if (FAILED(hr)) return hr;
        chars = BstrText(converted.bstrVal);
        VariantClear(&converted);
    }
    if (!Utf16ToUtf8(chars.data(), chars.size(), utf8) || utf8.find('\0') != std::string::npos) return E_INVALIDARG;
    return S_OK;
}

HRESULT ReturnBstr(const std::u16string& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = AllocBstr(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace wincompat::msxml
