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
    std::u16string out;
    out.reserve(length);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (i < length) {
        uint32_t c = bytes[i];
        size_t extra = 0;
        if (c < 0x80) {
            extra = 0;
        } else if ((c & 0xE0) == 0xC0) {
            c &= 0x1F, extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            c &= 0x0F, extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            c &= 0x07, extra = 3;
        } else {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        bool valid = true;
        for (size_t k = 1; k <= extra; ++k) {
            if (i + k >= length || (bytes[i + k] & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            c = (c << 6) | (bytes[i + k] & 0x3F);
        }
        if (!valid) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        i += extra + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
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
