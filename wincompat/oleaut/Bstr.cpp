// BSTR: a 32-bit byte count, then the characters, then a NUL character.
// The pointer handed out addresses the first character.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {
constexpr size_t kPrefix = sizeof(uint32_t);

uint32_t* PrefixOf(BSTR bstr) { return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(bstr) - kPrefix); }

// Allocates room for `bytes` bytes of text plus the terminator; copies `source` if given.
BSTR AllocateBytes(const void* source, UINT bytes) {
    if (bytes > std::numeric_limits<uint32_t>::max() - kPrefix - 2 * sizeof(OLECHAR)) return nullptr;
    // Room for an odd byte count plus a whole NUL character.
    size_t total = kPrefix + bytes + 2 * sizeof(OLECHAR);
    char* block = static_cast<char*>(malloc(total));
    if (!block) return nullptr;
    *reinterpret_cast<uint32_t*>(block) = bytes;
    char* text = block + kPrefix;
    if (source)
        memcpy(text, source, bytes);
    else
        memset(text, 0, bytes);
    memset(text + bytes, 0, 2 * sizeof(OLECHAR));
    return reinterpret_cast<BSTR>(text);
}

// Four units a step: callers pass command texts of some hundred units on
// every statement. Never reads past the terminator.
size_t Length(const OLECHAR* psz) {
    size_t n = 0;
    for (;; n += 4) {
        if (!psz[n]) return n;
        if (!psz[n + 1]) return n + 1;
        if (!psz[n + 2]) return n + 2;
        if (!psz[n + 3]) return n + 3;
    }
}
}  // namespace

extern "C" BSTR STDAPICALLTYPE SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    size_t length = Length(psz);
    if (length > std::numeric_limits<UINT>::max() / sizeof(OLECHAR)) return nullptr;
    return AllocateBytes(psz, static_cast<UINT>(length * sizeof(OLECHAR)));
}

extern "C" BSTR STDAPICALLTYPE SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    if (ui > std::numeric_limits<UINT>::max() / sizeof(OLECHAR)) return nullptr;
    return AllocateBytes(strIn, ui * static_cast<UINT>(sizeof(OLECHAR)));
}

extern "C" BSTR STDAPICALLTYPE SysAllocStringByteLen(LPCSTR psz, UINT len) { return AllocateBytes(psz, len); }

extern "C" void STDAPICALLTYPE SysFreeString(BSTR bstrString) {
    if (bstrString) free(PrefixOf(bstrString));
}

extern "C" UINT STDAPICALLTYPE SysStringByteLen(BSTR bstr) { return bstr ? *PrefixOf(bstr) : 0; }

extern "C" UINT STDAPICALLTYPE SysStringLen(BSTR bstr) {
    return bstr ? *PrefixOf(bstr) / static_cast<UINT>(sizeof(OLECHAR)) : 0;
}

extern "C" INT STDAPICALLTYPE SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
    if (!pbstr) return FALSE;
    // The source may lie inside the old string, so copy before freeing it.
    BSTR fresh = SysAllocStringLen(psz, len);
    if (!fresh) return FALSE;
    SysFreeString(*pbstr);
    *pbstr = fresh;
    return TRUE;
}

extern "C" INT STDAPICALLTYPE SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    if (!pbstr) return FALSE;
    if (!psz) {
        SysFreeString(*pbstr);
        *pbstr = nullptr;
        return TRUE;
    }
    return SysReAllocStringLen(pbstr, psz, static_cast<UINT>(Length(psz)));
}
