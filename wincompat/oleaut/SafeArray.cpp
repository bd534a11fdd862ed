// SAFEARRAY: the descriptor is preceded by a hidden header that records the
// element VARTYPE, as Windows does (FADF_HAVEVARTYPE). Bounds are stored in
// reverse order of dimension, so dimension n is rgsabound[cDims - n].
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {
constexpr size_t kHiddenHeader = 16;

VARTYPE& HiddenVartype(SAFEARRAY* psa) {
    return *reinterpret_cast<VARTYPE*>(reinterpret_cast<char*>(psa) - sizeof(DWORD));
}

ULONG ElementSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1: return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL: return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR: return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_CY:
        case VT_DATE: return 8;
        case VT_BSTR:
        case VT_UNKNOWN:
        case VT_DISPATCH: return sizeof(void*);
        case VT_VARIANT: return sizeof(VARIANT);
        case VT_DECIMAL: return sizeof(DECIMAL);
        default: return 0;
    }
}

USHORT FeaturesFor(VARTYPE vt) {
    switch (vt) {
        case VT_BSTR: return FADF_BSTR | FADF_HAVEVARTYPE;
        case VT_UNKNOWN: return FADF_UNKNOWN | FADF_HAVEVARTYPE;
        case VT_DISPATCH: return FADF_DISPATCH | FADF_HAVEVARTYPE;
        case VT_VARIANT: return FADF_VARIANT | FADF_HAVEVARTYPE;
        default: return FADF_HAVEVARTYPE;
    }
}

bool ElementCount(const SAFEARRAY* psa, size_t& count) {
    count = 1;
    for (USHORT i = 0; i < psa->cDims; ++i) {
        size_t n = psa->rgsabound[i].cElements;
        if (n != 0 && count > std::numeric_limits<size_t>::max() / n) return false;
        count *= n;
    }
    return true;
}

SAFEARRAY* AllocateDescriptor(UINT cDims) {
    size_t size = kHiddenHeader + sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
    char* block = static_cast<char*>(calloc(1, size));
    return block ? reinterpret_cast<SAFEARRAY*>(block + kHiddenHeader) : nullptr;
}

void FreeDescriptor(SAFEARRAY* psa) { free(reinterpret_cast<char*>(psa) - kHiddenHeader); }

// Releases what each element owns, leaving the memory in place.
void ClearElements(SAFEARRAY* psa) {
    if (!psa->pvData) return;
    size_t count = 0;
    ElementCount(psa, count);
    if (psa->fFeatures & FADF_BSTR) {
        BSTR* items = static_cast<BSTR*>(psa->pvData);
        for (size_t i = 0; i < count; ++i) {
            SysFreeString(items[i]);
            items[i] = nullptr;
        }
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown** items = static_cast<IUnknown**>(psa->pvData);
        for (size_t i = 0; i < count; ++i) {
            if (items[i]) items[i]->Release();
            items[i] = nullptr;
        }
    } else if (psa->fFeatures & FADF_VARIANT) {
        VARIANT* items = static_cast<VARIANT*>(psa->pvData);
        for (size_t i = 0; i < count; ++i) VariantClear(&items[i]);
    }
}

// Byte offset of an element from its indices (given in dimension order), or false if out of bounds.
// The first dimension varies fastest in memory, as in Windows' arrays.
bool ElementOffset(SAFEARRAY* psa, const LONG* indices, size_t& offset) {
    size_t index = 0;
    for (UINT dim = psa->cDims; dim >= 1; --dim) {
        const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - dim];
        int64_t relative = static_cast<int64_t>(indices[dim - 1]) - bound.lLbound;
        if (relative < 0 || relative >= static_cast<int64_t>(bound.cElements)) return false;
        index = index * bound.cElements + static_cast<size_t>(relative);
    }
    offset = index * psa->cbElements;
    return true;
}
}  // namespace

extern "C" SAFEARRAY* STDAPICALLTYPE SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    ULONG size = ElementSize(vt);
    if (cDims == 0 || cDims > 0xFFFF || !rgsabound || size == 0) return nullptr;
    SAFEARRAY* psa = AllocateDescriptor(cDims);
    if (!psa) return nullptr;
    psa->cDims = static_cast<USHORT>(cDims);
    psa->fFeatures = FeaturesFor(vt);
    psa->cbElements = size;
    HiddenVartype(psa) = vt;
    for (UINT i = 0; i < cDims; ++i) psa->rgsabound[cDims - 1 - i] = rgsabound[i];
    size_t count = 0;
    if (!ElementCount(psa, count) || count > std::numeric_limits<size_t>::max() / size) {
        FreeDescriptor(psa);
        return nullptr;
    }
    psa->pvData = calloc(count ? count : 1, size);
    if (!psa->pvData) {
        FreeDescriptor(psa);
        return nullptr;
    }
    return psa;
}

extern "C" SAFEARRAY* STDAPICALLTYPE SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    SAFEARRAYBOUND bound{cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

extern "C" HRESULT STDAPICALLTYPE SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) return S_OK;
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    ClearElements(psa);
    free(psa->pvData);
    FreeDescriptor(psa);
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE SafeArrayLock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks == 0xFFFF) return E_UNEXPECTED;
    ++psa->cLocks;
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks == 0) return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData) return E_INVALIDARG;
    HRESULT hr = SafeArrayLock(psa);
    *ppvData = SUCCEEDED(hr) ? psa->pvData : nullptr;
    return hr;
}

extern "C" HRESULT STDAPICALLTYPE SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

extern "C" HRESULT STDAPICALLTYPE SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound) return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound) return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - nDim];
    *plUbound = static_cast<LONG>(static_cast<int64_t>(bound.lLbound) + bound.cElements - 1);
    return S_OK;
}

extern "C" UINT STDAPICALLTYPE SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }
extern "C" UINT STDAPICALLTYPE SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

extern "C" HRESULT STDAPICALLTYPE SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt) return E_INVALIDARG;
    if (psa->fFeatures & FADF_HAVEVARTYPE) {
        *pvt = HiddenVartype(psa);
        return S_OK;
    }
    if (psa->fFeatures & FADF_BSTR)
        *pvt = VT_BSTR;
    else if (psa->fFeatures & FADF_UNKNOWN)
        *pvt = VT_UNKNOWN;
    else if (psa->fFeatures & FADF_DISPATCH)
        *pvt = VT_DISPATCH;
    else if (psa->fFeatures & FADF_VARIANT)
        *pvt = VT_VARIANT;
    else
        return E_INVALIDARG;
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut) return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa) return S_OK;
    VARTYPE vt = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(psa, &vt))) return E_INVALIDARG;
    SAFEARRAY* copy = AllocateDescriptor(psa->cDims);
    if (!copy) return E_OUTOFMEMORY;
    copy->cDims = psa->cDims;
    copy->fFeatures =
        static_cast<USHORT>(psa->fFeatures & ~(FADF_AUTO | FADF_STATIC | FADF_EMBEDDED)) | FADF_HAVEVARTYPE;
    copy->cbElements = psa->cbElements;
    HiddenVartype(copy) = vt;
    memcpy(copy->rgsabound, psa->rgsabound, psa->cDims * sizeof(SAFEARRAYBOUND));
    size_t count = 0;
    ElementCount(psa, count);
    copy->pvData = calloc(count ? count : 1, psa->cbElements);
    if (!copy->pvData) {
        FreeDescriptor(copy);
        return E_OUTOFMEMORY;
    }
    HRESULT hr = S_OK;
    if (psa->pvData && (psa->fFeatures & FADF_BSTR)) {
        BSTR* from = static_cast<BSTR*>(psa->pvData);
        BSTR* to = static_cast<BSTR*>(copy->pvData);
        for (size_t i = 0; i < count && SUCCEEDED(hr); ++i) {
            if (!from[i]) continue;
            to[i] = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(from[i]), SysStringByteLen(from[i]));
            if (!to[i]) hr = E_OUTOFMEMORY;
        }
    } else if (psa->pvData && (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH))) {
        IUnknown** from = static_cast<IUnknown**>(psa->pvData);
        IUnknown** to = static_cast<IUnknown**>(copy->pvData);
        for (size_t i = 0; i < count; ++i)
            if ((to[i] = from[i]) != nullptr) to[i]->AddRef();
    } else if (psa->pvData && (psa->fFeatures & FADF_VARIANT)) {
        VARIANT* from = static_cast<VARIANT*>(psa->pvData);
        VARIANT* to = static_cast<VARIANT*>(copy->pvData);
        for (size_t i = 0; i < count && SUCCEEDED(hr); ++i) hr = VariantCopy(&to[i], &from[i]);
    } else if (psa->pvData) {
        memcpy(copy->pvData, psa->pvData, count * psa->cbElements);
    }
    if (FAILED(hr)) {
        SafeArrayDestroy(copy);
        return hr;
    }
    *ppsaOut = copy;
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (!psa || !rgIndices || !pv) return E_INVALIDARG;
    size_t offset = 0;
    if (!ElementOffset(psa, rgIndices, offset)) return DISP_E_BADINDEX;
    const char* element = static_cast<const char*>(psa->pvData) + offset;
    if (psa->fFeatures & FADF_BSTR) {
        BSTR source = *reinterpret_cast<const BSTR*>(element);
        BSTR copy =
            source ? SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source), SysStringByteLen(source)) : nullptr;
        if (source && !copy) return E_OUTOFMEMORY;
        *static_cast<BSTR*>(pv) = copy;
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* item = *reinterpret_cast<IUnknown* const*>(element);
        if (item) item->AddRef();
        *static_cast<IUnknown**>(pv) = item;
    } else if (psa->fFeatures & FADF_VARIANT) {
        VariantInit(static_cast<VARIANT*>(pv));
        return VariantCopy(static_cast<VARIANT*>(pv), reinterpret_cast<VARIANT*>(const_cast<char*>(element)));
    } else {
        memcpy(pv, element, psa->cbElements);
    }
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (!psa || !rgIndices) return E_INVALIDARG;
    size_t offset = 0;
    if (!ElementOffset(psa, rgIndices, offset)) return DISP_E_BADINDEX;
    char* element = static_cast<char*>(psa->pvData) + offset;
    if (psa->fFeatures & FADF_BSTR) {
        BSTR source = static_cast<BSTR>(pv);
        BSTR copy =
            source ? SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source), SysStringByteLen(source)) : nullptr;
        if (source && !copy) return E_OUTOFMEMORY;
        SysFreeString(*reinterpret_cast<BSTR*>(element));
        *reinterpret_cast<BSTR*>(element) = copy;
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* item = static_cast<IUnknown*>(pv);
        if (item) item->AddRef();
        IUnknown*& slot = *reinterpret_cast<IUnknown**>(element);
        if (slot) slot->Release();
        slot = item;
    } else if (psa->fFeatures & FADF_VARIANT) {
        return VariantCopy(reinterpret_cast<VARIANT*>(element), static_cast<VARIANT*>(pv));
    } else {
        if (!pv) return E_INVALIDARG;
        memcpy(element, pv, psa->cbElements);
    }
    return S_OK;
}
