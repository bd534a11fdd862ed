// VARIANT initialisation, clearing and deep copying.
#include <windows.h>

#include "oleaut/VariantTypes.h"

namespace {
using wincompat::oleaut::IsValidBaseType;

bool IsValidVartype(VARTYPE vt) {
    if (vt & VT_VECTOR) return false;
    VARTYPE base = vt & VT_TYPEMASK;
    if (vt & VT_ARRAY) return base != VT_EMPTY && base != VT_NULL;
    return IsValidBaseType(base) && ((vt & VT_BYREF) || base != VT_VARIANT);
}
}  // namespace

extern "C" void STDAPICALLTYPE VariantInit(VARIANTARG* pvarg) {
    if (!pvarg) return;
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
}

extern "C" HRESULT STDAPICALLTYPE VariantClear(VARIANTARG* pvarg) {
    if (!pvarg) return E_INVALIDARG;
    if (!IsValidVartype(pvarg->vt)) return DISP_E_BADVARTYPE;
    if (!(pvarg->vt & VT_BYREF)) {
        if (pvarg->vt & VT_ARRAY) {
            HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr)) return hr;
        } else {
            switch (pvarg->vt) {
                case VT_BSTR: SysFreeString(pvarg->bstrVal); break;
                case VT_UNKNOWN:
                case VT_DISPATCH:
                    if (pvarg->punkVal) pvarg->punkVal->Release();
                    break;
                default: break;
            }
        }
    }
    pvarg->vt = VT_EMPTY;
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE VariantCopy(VARIANTARG* pvargDest, VARIANTARG* pvargSrc) {
    if (!pvargDest || !pvargSrc) return E_INVALIDARG;
    if (pvargDest == pvargSrc) return S_OK;
    if (!IsValidVartype(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr)) return hr;
    VARIANT copy = *pvargSrc;  // the bits; owned parts are replaced below
    if (!(copy.vt & VT_BYREF)) {
        if (copy.vt & VT_ARRAY) {
            hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
            if (FAILED(hr)) return hr;
        } else if (copy.vt == VT_BSTR && pvargSrc->bstrVal) {
            copy.bstrVal =
                SysAllocStringByteLen(reinterpret_cast<LPCSTR>(pvargSrc->bstrVal), SysStringByteLen(pvargSrc->bstrVal));
            if (!copy.bstrVal) return E_OUTOFMEMORY;
        } else if ((copy.vt == VT_UNKNOWN || copy.vt == VT_DISPATCH) && copy.punkVal) {
            copy.punkVal->AddRef();
        }
    }
    *pvargDest = copy;
    return S_OK;
}

// Copies the value a by-reference variant points at; other variants as VariantCopy.
extern "C" HRESULT STDAPICALLTYPE VariantCopyInd(VARIANT* pvarDest, VARIANTARG* pvargSrc) {
    if (!pvarDest || !pvargSrc) return E_INVALIDARG;
    if (!(pvargSrc->vt & VT_BYREF)) return VariantCopy(pvarDest, pvargSrc);
    VARTYPE target = pvargSrc->vt & ~VT_BYREF;
    if (!IsValidVartype(target)) return DISP_E_BADVARTYPE;
    if (!pvargSrc->byref) return E_INVALIDARG;  // a reference to nothing
    if (target == VT_VARIANT) return VariantCopyInd(pvarDest, pvargSrc->pvarVal);
    VARIANT shallow;
    VariantInit(&shallow);
    shallow.vt = target;
    if (target & VT_ARRAY) {
        shallow.parray = *pvargSrc->pparray;
    } else {
        switch (target) {
            case VT_I1:
            case VT_UI1: shallow.bVal = *pvargSrc->pbVal; break;
            case VT_I2:
            case VT_UI2:
            case VT_BOOL: shallow.iVal = *pvargSrc->piVal; break;
            case VT_I4:
            case VT_UI4:
            case VT_INT:
            case VT_UINT:
            case VT_ERROR: shallow.lVal = *pvargSrc->plVal; break;
            case VT_R4: shallow.fltVal = *pvargSrc->pfltVal; break;
            case VT_I8:
            case VT_UI8:
            case VT_CY: shallow.llVal = *pvargSrc->pllVal; break;
            case VT_R8:
            case VT_DATE: shallow.dblVal = *pvargSrc->pdblVal; break;
            case VT_BSTR: shallow.bstrVal = *pvargSrc->pbstrVal; break;
            case VT_UNKNOWN:
            case VT_DISPATCH: shallow.punkVal = *pvargSrc->ppunkVal; break;
            case VT_DECIMAL: {
                DECIMAL value = *pvargSrc->pdecVal;
                shallow.decVal = value;
                shallow.vt = VT_DECIMAL;
                break;
            }
            default: return DISP_E_BADVARTYPE;
        }
    }
    return VariantCopy(pvarDest, &shallow);  // deep-copies what `shallow` only borrows
}
