#include "msxml/text.h"

#include <algorithm>

namespace wincompat::msxml {

bool Utf16ToUtf8(const char16_t* text, size_t length, std::string& out) {
    // Runs on every loadXML. The usual text, ASCII only, is narrowed in one
    // pass that also collects every unit's bits (a loop the compiler
    // vectorises); other text is written through a pointer into room for the
    // worst case (3 bytes per unit).
    out.resize(length);
    char* narrowed = out.data();
    char16_t seen = 0;
    for (size_t k = 0; k < length; ++k) {
        seen = static_cast<char16_t>(seen | text[k]);
        narrowed[k] = static_cast<char>(text[k] & 0xFF);
    }
    if (seen < 0x80) return true;
    size_t i = 0;
    while (text[i] < 0x80) ++i;
    out.resize(length * 3);
    char* p = std::copy(text, text + i, out.data());
    for (; i < length; ++i) {
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

namespace {

bool IsAscii(const char* text, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
    return true;
}

// Decodes UTF-8, handing each UTF-16 unit to `emit`; a malformed byte becomes U+FFFD.
template <class Emit>
void DecodeUtf8(const char* text, size_t length, Emit&& emit) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (i < length) {
        uint32_t c = bytes[i];
        size_t extra = 0;
        if (c < 0x80) {
            emit(static_cast<char16_t>(c));
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            c &= 0x1F, extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            c &= 0x0F, extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            c &= 0x07, extra = 3;
        } else {
            emit(u'\uFFFD');
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
            emit(u'\uFFFD');
            ++i;
            continue;
        }
        i += extra + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            emit(static_cast<char16_t>(0xD800 + (c >> 10)));
            emit(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            emit(static_cast<char16_t>(c));
        }
    }
}

}  // namespace

std::u16string Utf8ToUtf16(const char* text, size_t length) {
    if (IsAscii(text, length)) return std::u16string(text, text + length);
    std::u16string out;
    out.reserve(length);
    DecodeUtf8(text, length, [&](char16_t c) { out.push_back(c); });
    return out;
}

BSTR AllocBstrFromUtf8(const char* text, size_t length) {
    if (IsAscii(text, length)) {
        BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(length));
        if (out) std::copy(text, text + length, out);
        return out;
    }
    size_t units = 0;
    DecodeUtf8(text, length, [&](char16_t) { ++units; });
    BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(units));
    if (!out) return nullptr;
    char16_t* p = out;
    DecodeUtf8(text, length, [&](char16_t c) { *p++ = c; });
    return out;
}

std::u16string Utf8ToUtf16(const unsigned char* text) {
    if (!text) return {};
    const char* chars = reinterpret_cast<const char*>(text);
    return Utf8ToUtf16(chars, std::char_traits<char>::length(chars));
}

BSTR AllocBstr(const std::u16string& text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

BSTR AllocBstrFromUtf8(const unsigned char* text) {
    const char* chars = text ? reinterpret_cast<const char*>(text) : "";
    return AllocBstrFromUtf8(chars, std::char_traits<char>::length(chars));
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
