// The COM error exception: the one exception type inside the plug-ins.
#pragma once
#include <windows.h>

#include <exception>
#include <string>

#include "comsupport/OleString.h"

namespace comsupport {

class ComError : public std::exception {
public:
    explicit ComError(HRESULT hr, OleString description = OleString());

    HRESULT Code() const noexcept { return hr_; }
    // The failing interface's error-information text; empty when it supplied none.
    const OleString& Description() const noexcept { return description_; }
    // The operating system's message text for the HRESULT, trailing line break removed; empty if it has none.
    OleString SystemMessage() const;
    // UTF-8 "0x80004003: Invalid pointer" plus the description, for logs and exceptions escaping tests.
    const char* what() const noexcept override { return what_.c_str(); }

private:
    HRESULT hr_;
    OleString description_;
    std::string what_;
};

// Throws ComError for `hr`. When `failing` declares ISupportErrorInfo for `iid`,
// the thread's error information supplies the description (and is taken).
[[noreturn]] void ThrowComError(HRESULT hr, IUnknown* failing = nullptr, const IID* iid = nullptr);

// Throws ComError for a failing HRESULT and passes successful ones through (S_FALSE included).
inline HRESULT Check(HRESULT hr) {
    if (FAILED(hr)) ThrowComError(hr);
    return hr;
}

// The system's message text for an HRESULT, trailing line break removed; empty if it has none.
OleString SystemMessageFor(HRESULT hr);

}  // namespace comsupport
