// Owning holders for COM references and BSTRs, shared by the ADO and DOM tests,
// and the thread's error description.
#pragma once
#include <windows.h>

#include <string>
#include <utility>

namespace wincompat_test {

// An owning interface reference: copies AddRef, moves hand the reference over.
template <class T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* p) : p_(p) {}
    Ref(const Ref& other) : p_(other.p_) {
        if (p_) p_->AddRef();
    }
    Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Ref& operator=(Ref other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~Ref() { reset(); }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }
    T** out() {
        reset();
        return &p_;
    }
    void** outVoid() { return reinterpret_cast<void**>(out()); }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // Another interface of the same object, or an empty reference.
    template <class U>
    Ref<U> As(REFIID iid) const {
        Ref<U> result;
        if (p_) p_->QueryInterface(iid, result.outVoid());
        return result;
    }

private:
    T* p_ = nullptr;
};

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const char16_t* text) : b_(SysAllocString(text)) {}
    explicit Bstr(const std::u16string& text) : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(b_); }
    BSTR get() const { return b_; }
    BSTR* out() {
        SysFreeString(b_);
        b_ = nullptr;
        return &b_;
    }
    std::u16string text() const { return b_ ? std::u16string(b_, SysStringLen(b_)) : std::u16string(); }
    bool isNull() const { return b_ == nullptr; }

private:
    BSTR b_ = nullptr;
};

// The description of the thread's current error information (empty when there
// is none); the error information is taken, so it is cleared.
inline std::u16string TakeErrorDescription() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return u"";
    Bstr description;
    info->GetDescription(description.out());
    info->Release();
    return description.text();
}

}  // namespace wincompat_test
