// Bstr's copies: an allocation that fails raises E_OUTOFMEMORY instead of leaving a null BSTR
// behind.
#include "comsupport/Bstr.h"

#include "comsupport/ComError.h"

namespace comsupport {
namespace {
BSTR CopyOrThrow(const OLECHAR* text, UINT length) {
    BSTR copy = SysAllocStringLen(text, length);
    if (!copy) ThrowComError(E_OUTOFMEMORY);
    return copy;
}
}  // namespace

Bstr::Bstr(const OLECHAR* text) {
    if (!text) return;
    UINT length = 0;
    while (text[length]) ++length;
    bstr_ = CopyOrThrow(text, length);
}

Bstr::Bstr(const OleString& text) : bstr_(CopyOrThrow(text.data(), static_cast<UINT>(text.size()))) {}

Bstr::Bstr(const Bstr& other) {
    if (other.bstr_) bstr_ = CopyOrThrow(other.bstr_, other.Length());
}

Bstr Bstr::FromUtf8(const std::string& utf8) { return Bstr(OleFromUtf8(utf8)); }

void Bstr::Reset() noexcept {
    SysFreeString(bstr_);
    bstr_ = nullptr;
}

}  // namespace comsupport
