// Interface identifiers of the COM and OLE Automation core, and GUID text forms.
#include <windows.h>

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

extern "C" {
const GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_ITypeLib = {0x00020402, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IErrorInfo = {0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
const IID IID_ICreateErrorInfo = {0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
const IID IID_ISupportErrorInfo = {0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
}

namespace {
constexpr int kGuidTextLength = 38;  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"

int HexValue(OLECHAR c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Reads `digits` hex digits at text[pos]; false if any is not a hex digit.
bool ReadHex(LPCOLESTR text, int pos, int digits, uint64_t& value) {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        int digit = HexValue(text[pos + i]);
        if (digit < 0) return false;
        value = (value << 4) | static_cast<uint64_t>(digit);
    }
    return true;
}

// Parses exactly the braced registry form, the only one COM accepts.
bool ParseBracedGuid(LPCOLESTR text, GUID& guid) {
    for (int i = 0; i < kGuidTextLength; ++i)
        if (text[i] == 0) return false;
    if (text[kGuidTextLength] != 0 || text[0] != u'{' || text[37] != u'}' || text[9] != u'-' || text[14] != u'-' ||
        text[19] != u'-' || text[24] != u'-')
        return false;
    uint64_t value = 0;
    if (!ReadHex(text, 1, 8, value)) return false;
    guid.Data1 = static_cast<uint32_t>(value);
    if (!ReadHex(text, 10, 4, value)) return false;
    guid.Data2 = static_cast<uint16_t>(value);
    if (!ReadHex(text, 15, 4, value)) return false;
    guid.Data3 = static_cast<uint16_t>(value);
    static const int kBytePositions[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(text, kBytePositions[i], 2, value)) return false;
        guid.Data4[i] = static_cast<uint8_t>(value);
    }
    return true;
}
}  // namespace

extern "C" int STDAPICALLTYPE StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    if (!lpsz || cchMax < kGuidTextLength + 1) return 0;
    char text[kGuidTextLength + 1];
    snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", rguid.Data1, rguid.Data2,
             rguid.Data3, rguid.Data4[0], rguid.Data4[1], rguid.Data4[2], rguid.Data4[3], rguid.Data4[4],
             rguid.Data4[5], rguid.Data4[6], rguid.Data4[7]);
    for (int i = 0; i <= kGuidTextLength; ++i) lpsz[i] = static_cast<OLECHAR>(text[i]);
    return kGuidTextLength + 1;
}

static HRESULT AllocGuidString(REFGUID guid, LPOLESTR* out) {
    if (!out) return E_INVALIDARG;
    *out = static_cast<LPOLESTR>(CoTaskMemAlloc((kGuidTextLength + 1) * sizeof(OLECHAR)));
    if (!*out) return E_OUTOFMEMORY;
    StringFromGUID2(guid, *out, kGuidTextLength + 1);
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
    return AllocGuidString(rclsid, lplpsz);
}
extern "C" HRESULT STDAPICALLTYPE StringFromIID(REFIID riid, LPOLESTR* lplpsz) { return AllocGuidString(riid, lplpsz); }

extern "C" HRESULT STDAPICALLTYPE IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
    if (!lpiid) return E_INVALIDARG;
    if (!lpsz) {
        *lpiid = GUID_NULL;
        return S_OK;
    }
    return ParseBracedGuid(lpsz, *lpiid) ? S_OK : E_INVALIDARG;
}

// Text that is not a braced GUID is looked up as a ProgID, as COM does.
extern "C" HRESULT STDAPICALLTYPE CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
    if (!pclsid) return E_INVALIDARG;
    if (!lpsz) {
        *pclsid = GUID_NULL;
        return S_OK;
    }
    if (lpsz[0] == u'{') {
        if (ParseBracedGuid(lpsz, *pclsid)) return S_OK;
        *pclsid = GUID_NULL;
        return CO_E_CLASSSTRING;
    }
    HRESULT hr = CLSIDFromProgID(lpsz, pclsid);
    return SUCCEEDED(hr) ? hr : CO_E_CLASSSTRING;
}

// A random (version 4) GUID from the kernel's random source.
extern "C" HRESULT STDAPICALLTYPE CoCreateGuid(GUID* pguid) {
    if (!pguid) return E_INVALIDARG;
    unsigned char bytes[sizeof(GUID)];
    size_t filled = 0;
    while (filled < sizeof bytes) {
        ssize_t got = getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY);  // what Windows reports when its generator fails
        }
        filled += static_cast<size_t>(got);
    }
    GUID guid;
    memcpy(&guid, bytes, sizeof guid);
    guid.Data3 = static_cast<uint16_t>((guid.Data3 & 0x0FFF) | 0x4000);   // version 4
    guid.Data4[0] = static_cast<uint8_t>((guid.Data4[0] & 0x3F) | 0x80);  // RFC 4122 variant
    *pguid = guid;
    return S_OK;
}
