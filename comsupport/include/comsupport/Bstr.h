// Owns one BSTR.
#pragma once
#include <windows.h>

#include <string>
#include <utility>

#include "comsupport/OleString.h"

namespace comsupport {

class Bstr {
public:
    Bstr() noexcept = default;
    // Copies the text; a failed allocation raises ComError(E_OUTOFMEMORY). A null text gives a null BSTR.
    explicit Bstr(const OLECHAR* text);
    explicit Bstr(const OleString& text);
    Bstr(const Bstr& other);
    Bstr(Bstr&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}
    Bstr& operator=(Bstr other) noexcept {
        std::swap(bstr_, other.bstr_);
        return *this;
    }
    ~Bstr() { Reset(); }

    static Bstr FromUtf8(const std::string& utf8);
    // Adopts a BSTR that the caller owns.
    static Bstr Attach(BSTR owned) noexcept {
        Bstr b;
        b.bstr_ = owned;
        return b;
    }

    BSTR Get() const noexcept { return bstr_; }
    // Frees the current string and returns the slot for an out parameter.
    BSTR* Receive() noexcept {
        Reset();
        return &bstr_;
    }
    BSTR Detach() noexcept { return std::exchange(bstr_, nullptr); }
    void Reset() noexcept;

    UINT Length() const noexcept { return SysStringLen(bstr_); }
    bool IsEmpty() const noexcept { return Length() == 0; }
    OleString Str() const { return bstr_ ? OleString(bstr_, Length()) : OleString(); }
    std::string Utf8() const { return Utf8FromOle(bstr_, Length()); }

private:
    BSTR bstr_ = nullptr;
};

}  // namespace comsupport
