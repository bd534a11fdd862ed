// Small COM building blocks shared by the DOM objects.
#pragma once
#include <windows.h>
#include <msxml2.h>

#include <string>
#include <utility>

#include "common/DispatchStub.h"
#include "common/ReferenceCounted.h"

namespace wincompat::msxml {

// An owning interface reference (AddRef on copy, Release on destruction).
template <class T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* p, bool addRef = true) : p_(p) {
        if (p_ && addRef) p_->AddRef();
    }
    Ref(const Ref& other) : Ref(other.p_) {}
    Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Ref& operator=(Ref other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~Ref() {
        if (p_) p_->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T* detach() { return std::exchange(p_, nullptr); }

private:
    T* p_ = nullptr;
};

// Sets the thread's error object with `description` and returns `hr`, so that
// callers that ask ISupportErrorInfo get the reason as MSXML gives one.
HRESULT ReportError(HRESULT hr, REFIID iid, const std::u16string& description);

// The DOM objects' reference count. An object is deleted through this base,
// whose virtual destructor reaches the most derived class.
class RefCounted : public ReferenceCounted<RefCounted> {
protected:
    friend class ReferenceCounted<RefCounted>;
    virtual ~RefCounted() = default;
};

// Hands `object` (holding the creation reference) out as `riid`, then drops the
// creation reference: the caller ends up with the only one, or nothing.
template <class T>
HRESULT HandOut(T* object, REFIID riid, void** out) {
    HRESULT hr = object->QueryInterface(riid, out);
    object->Release();
    return hr;
}

}  // namespace wincompat::msxml
