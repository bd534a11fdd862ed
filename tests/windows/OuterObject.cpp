// The controlling object of the aggregation checks: IUnknown answered by itself, every other
// interface by the inner object.
#include "Plugins.h"

namespace windows_test {

STDMETHODIMP OuterObject::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown)) {
        *object = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    if (inner_) return inner_->QueryInterface(iid, object);
    *object = nullptr;
    return E_NOINTERFACE;
}

void OuterObject::ReleaseInner() {
    if (inner_) inner_->Release();
    inner_ = nullptr;
}

}  // namespace windows_test
