// Error information: the error object that CreateErrorInfo makes, and the one
// error object per thread that SetErrorInfo leaves and GetErrorInfo takes.
#include <windows.h>

#include <mutex>
#include <new>

#include "common/ReferenceCounted.h"

namespace {

// A BSTR owned by its holder; null until set.
class OwnedText {
public:
    OwnedText() = default;
    OwnedText(const OwnedText&) = delete;
    OwnedText& operator=(const OwnedText&) = delete;
    ~OwnedText() { SysFreeString(text_); }

    HRESULT Assign(LPCOLESTR text) {
        BSTR copy = nullptr;
        if (text && !(copy = SysAllocString(text))) return E_OUTOFMEMORY;
        SysFreeString(text_);
        text_ = copy;
        return S_OK;
    }

    // Hands the caller its own copy (null when never set).
    HRESULT CopyTo(BSTR* out) const {
        if (!out) return E_INVALIDARG;
        *out = nullptr;
        if (!text_) return S_OK;
        *out = SysAllocStringLen(text_, SysStringLen(text_));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    BSTR text_ = nullptr;
};

class ErrorObject final : public IErrorInfo, public ICreateErrorInfo, public wincompat::ReferenceCounted<ErrorObject> {
public:
    // IUnknown (both interfaces share this one identity)
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (!ppvObject) return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IErrorInfo)) {
            *ppvObject = static_cast<IErrorInfo*>(this);
        } else if (IsEqualGUID(riid, IID_ICreateErrorInfo)) {
            *ppvObject = static_cast<ICreateErrorInfo*>(this);
        } else {
            *ppvObject = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseReference(); }

    // IErrorInfo
    HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) override {
        if (!pGUID) return E_INVALIDARG;
        std::lock_guard<std::mutex> guard(lock_);
        *pGUID = guid_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) override { return Read(source_, pBstrSource); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) override {
        return Read(description_, pBstrDescription);
    }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) override { return Read(helpFile_, pBstrHelpFile); }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) override {
        if (!pdwHelpContext) return E_INVALIDARG;
        std::lock_guard<std::mutex> guard(lock_);
        *pdwHelpContext = helpContext_;
        return S_OK;
    }

    // ICreateErrorInfo
    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) override {
        std::lock_guard<std::mutex> guard(lock_);
        guid_ = rguid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR szSource) override { return Write(source_, szSource); }
    HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR szDescription) override {
        return Write(description_, szDescription);
    }
    HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR szHelpFile) override { return Write(helpFile_, szHelpFile); }
    HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD dwHelpContext) override {
        std::lock_guard<std::mutex> guard(lock_);
        helpContext_ = dwHelpContext;
        return S_OK;
    }

private:
    friend class wincompat::ReferenceCounted<ErrorObject>;
    ~ErrorObject() = default;

    HRESULT Read(const OwnedText& field, BSTR* out) {
        std::lock_guard<std::mutex> guard(lock_);
        return field.CopyTo(out);
    }
    HRESULT Write(OwnedText& field, LPCOLESTR text) {
        std::lock_guard<std::mutex> guard(lock_);
        return field.Assign(text);
    }

    std::mutex lock_;
    GUID guid_ = GUID_NULL;
    OwnedText source_;
    OwnedText description_;
    OwnedText helpFile_;
    DWORD helpContext_ = 0;
};

// The calling thread's pending error object; released when the thread ends.
class ThreadErrorSlot {
public:
    ~ThreadErrorSlot() { Replace(nullptr); }
    void Replace(IErrorInfo* info) {
        if (info) info->AddRef();
        IErrorInfo* previous = info_;
        info_ = info;
        if (previous) previous->Release();  // after the swap: its destructor may set error info again
    }
    IErrorInfo* Take() {
        IErrorInfo* info = info_;
        info_ = nullptr;
        return info;
    }

private:
    IErrorInfo* info_ = nullptr;
};

thread_local ThreadErrorSlot tls_error_slot;
}  // namespace

extern "C" HRESULT STDAPICALLTYPE CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
    if (!pperrinfo) return E_INVALIDARG;
    ErrorObject* object = new (std::nothrow) ErrorObject;
    *pperrinfo = object;
    return object ? S_OK : E_OUTOFMEMORY;
}

extern "C" HRESULT STDAPICALLTYPE SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) {
    if (dwReserved != 0) return E_INVALIDARG;
    tls_error_slot.Replace(perrinfo);
    return S_OK;
}

// Reading the error object takes it: a second call finds none.
extern "C" HRESULT STDAPICALLTYPE GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) {
    if (!pperrinfo) return E_INVALIDARG;
    *pperrinfo = nullptr;
    if (dwReserved != 0) return E_INVALIDARG;
    *pperrinfo = tls_error_slot.Take();
    return *pperrinfo ? S_OK : S_FALSE;
}
