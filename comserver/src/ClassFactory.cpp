// The class factory of one object-table row: refuses aggregation as its row says, and keeps the
// module loaded while a client holds it or has locked the server.
#include "comserver/ClassFactory.h"

#include <new>

namespace comserver {

HRESULT ClassFactory::Create(Module& module, const ObjectEntry& entry, IClassFactory** factory) {
    if (!factory) return E_POINTER;
    *factory = new (std::nothrow) ClassFactory(module, entry.createInstance, entry.aggregation);
    return *factory ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP ClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ClassFactory::AddRef() {
    LONG refs = InterlockedIncrement(&refs_);
    if (refs == 2) module_.Lock();  // a client holds the factory: keep the module loaded
    return static_cast<ULONG>(refs);
}

STDMETHODIMP_(ULONG) ClassFactory::Release() {
    LONG refs = InterlockedDecrement(&refs_);
    if (refs == 1) module_.Unlock();  // only the module's own reference is left
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter) {
        if (aggregation_ == Aggregation::Refused) return CLASS_E_NOAGGREGATION;
        if (!IsEqualGUID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    }
    return create_(pUnkOuter, riid, ppvObject);
}

STDMETHODIMP ClassFactory::LockServer(BOOL fLock) {
    if (fLock) {
        module_.Lock();
    } else {
        module_.Unlock();
    }
    return S_OK;
}

}  // namespace comserver
