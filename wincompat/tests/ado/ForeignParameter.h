// A Parameter of another implementation than ADO's own, as a caller may append
// one to a command: the identity, lifetime and description an input parameter
// has, with its value left to each test.
#pragma once
#include <adoint.h>

#include <atomic>

#include "ado/Stubs.h"

namespace wincompat_test {

// An input of `type` and size 4 named `name`; get_Value is the test's.
class ForeignParameter : public wincompat::ado::ParameterStub {
public:
    ForeignParameter(const char16_t* name, DataTypeEnum type) : name_(name), type_(type) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch && riid != IID__Parameter) return E_NOINTERFACE;
        *ppv = static_cast<_Parameter*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP get_Name(BSTR* out) override {
        *out = SysAllocString(name_);
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP get_Type(DataTypeEnum* out) override {
        *out = type_;
        return S_OK;
    }
    STDMETHODIMP get_Direction(ParameterDirectionEnum* out) override {
        *out = adParamInput;
        return S_OK;
    }
    STDMETHODIMP get_Size(ADO_LONGPTR* out) override {
        *out = 4;
        return S_OK;
    }

protected:
    virtual ~ForeignParameter() = default;

private:
    std::atomic<ULONG> refs_{1};
    const char16_t* name_;
    DataTypeEnum type_;
};

}  // namespace wincompat_test
