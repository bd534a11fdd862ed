// IUnknown and IClassFactory, with the macros COM interfaces are declared with (MIDL_INTERFACE,
// STDMETHOD, DECLARE_INTERFACE).
#pragma once
#include "wtypes.h"

#define interface struct
#define MIDL_INTERFACE(x) struct DECLSPEC_NOVTABLE
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define PURE = 0
#define THIS_
#define THIS void
#define DECLARE_INTERFACE(iface) interface DECLSPEC_NOVTABLE iface
#define DECLARE_INTERFACE_(iface, base) interface DECLSPEC_NOVTABLE iface : public base
#define BEGIN_INTERFACE
#define END_INTERFACE

EXTERN_C const IID IID_IUnknown;
EXTERN_C const IID IID_IClassFactory;

MIDL_INTERFACE("00000000-0000-0000-C000-000000000046")
IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

MIDL_INTERFACE("00000001-0000-0000-C000-000000000046")
IClassFactory : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown * pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};
typedef IClassFactory* LPCLASSFACTORY;
