#include "msxml/text.h"

namespace wincompat::msxml {

bool Utf16ToUtf8(const char16_t* text, size_t length, std::string& out) {
    // Sized for the worst case (3 bytes per UTF-16 unit) and written through a
    // pointer: documents are mostly ASCII and this runs on every loadXML.
    out.resize(length * 3);
    char* p = out.data();
    for (size_t i = 0; i < length; ++i) {
        uint32_t c = text[i];
        if (c < 0x80) {
            *p++ = static_cast<char>(c);
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= length || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
        if (c < 0x800) {
            *p++ = static_cast<char>(0xC0 | (c >> 6));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *p++ = static_cast<char>(0xE0 | (c >> 12));
            *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {  // a surrogate pair: 2 units in, 4 bytes out
            *p++ = static_cast<char>(0xF0 | (c >> 18));
            *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    out.resize(static_cast<size_t>(p - out.data()));
    return true;
}

std::u16string Utf8ToUtf16(const char* text, size_t length) {
    if (length == 0 || length > static_cast<size_t>(INT32_MAX)) return std::u16string();
    // Never more UTF-16 units than UTF-8 bytes.
    std::u16string out(length, u'\0');
    int written = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(length), out.data(), static_cast<int>(length));
    out.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return out;
}

std::u16string Utf8ToUtf16(const unsigned char* text) {
    if (!text) return {};
    const char* chars = reinterpret_cast<const char*>(text);
    return Utf8ToUtf16(chars, std::char_traits<char>::length(chars));
}

BSTR AllocBstr(const std::u16string& text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

BSTR AllocBstrFromUtf8(const unsigned char* text) { return AllocBstr(Utf8ToUtf16(text)); }

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
