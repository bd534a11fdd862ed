// Owners of the COM resources the checks hold: references, BSTRs, byte arrays.
#pragma once
#include <windows.h>

#include <cstring>
#include <string>

namespace windows_test {

// A byte array of a message's payload.
class Payload {
public:
    explicit Payload(const std::string& bytes) {
        array_ = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
        void* data = nullptr;
        if (array_ && SUCCEEDED(SafeArrayAccessData(array_, &data))) {
            if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
            SafeArrayUnaccessData(array_);
        }
    }
    ~Payload() {
        if (array_) SafeArrayDestroy(array_);
    }
    Payload(const Payload&) = delete;
    Payload& operator=(const Payload&) = delete;
    SAFEARRAY* Get() const { return array_; }

private:
    SAFEARRAY* array_ = nullptr;
};

class Text {
public:
    explicit Text(const wchar_t* text = nullptr) : bstr_(SysAllocString(text)) {}
    ~Text() { SysFreeString(bstr_); }
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    BSTR Get() const { return bstr_; }
    BSTR* Receive() {
        SysFreeString(bstr_);
        bstr_ = nullptr;
        return &bstr_;
    }
    std::wstring Str() const { return bstr_ ? std::wstring(bstr_, SysStringLen(bstr_)) : std::wstring(); }

private:
    BSTR bstr_;
};

template <class Interface>
class Ref {
public:
    Ref() = default;
    ~Ref() { Reset(); }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Interface* operator->() const { return pointer_; }
    Interface* Get() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    void** Receive() {
        Reset();
        return reinterpret_cast<void**>(&pointer_);
    }
    void Reset() {
        if (pointer_) pointer_->Release();
        pointer_ = nullptr;
    }

private:
    Interface* pointer_ = nullptr;
};

}  // namespace windows_test
