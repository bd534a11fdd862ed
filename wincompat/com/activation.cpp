// COM activation: built-in classes first, then the registry.
#include <windows.h>

#include "com/builtin_classes.h"

extern "C" HRESULT STDAPICALLTYPE CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
    if (!lpszProgID || !lpclsid) return E_INVALIDARG;
    if (const wincompat::BuiltinClass* builtin = wincompat::FindBuiltinClassByProgId(lpszProgID)) {
        *lpclsid = builtin->clsid;
        return S_OK;
    }
    *lpclsid = GUID_NULL;
    return CO_E_CLASSSTRING;
}

extern "C" HRESULT STDAPICALLTYPE CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                                   REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!(dwClsContext & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER))) return REGDB_E_CLASSNOTREG;
    if (const wincompat::BuiltinClass* builtin = wincompat::FindBuiltinClass(rclsid))
        return builtin->create(pUnkOuter, riid, ppv);
    return REGDB_E_CLASSNOTREG;
}
