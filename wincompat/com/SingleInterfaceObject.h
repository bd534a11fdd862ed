// The IUnknown of a wincompat object that has one interface besides IUnknown:
// QueryInterface for the two, a reference count safe across threads, and
// deletion with the last reference.
#pragma once
#include <windows.h>

#include "common/ReferenceCounted.h"

namespace wincompat {

template <class Interface, const IID& kInterfaceId>
class SingleInterfaceObject : public Interface,
                              public ReferenceCounted<SingleInterfaceObject<Interface, kInterfaceId>> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, kInterfaceId)) {
            *ppv = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return this->AddReference(); }
    ULONG STDMETHODCALLTYPE Release() override { return this->ReleaseReference(); }

protected:
    // Deleted through this class: the virtual destructor reaches the most derived one.
    friend class ReferenceCounted<SingleInterfaceObject>;
    SingleInterfaceObject() = default;
    virtual ~SingleInterfaceObject() = default;
};

}  // namespace wincompat
