// UTF-8 <-> UTF-16 through the platform's code-page conversion; a failed conversion raises
// ComError.
#include "comsupport/OleString.h"

#include <limits>

#include "comsupport/ComError.h"

namespace comsupport {

OleString OleFromUtf8(const std::string& utf8) {
    if (utf8.empty()) return OleString();
    if (utf8.size() > static_cast<size_t>(std::numeric_limits<int>::max())) ThrowComError(E_INVALIDARG);
    const int bytes = static_cast<int>(utf8.size());
    int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, nullptr, 0);
    if (needed <= 0) ThrowComError(HRESULT_FROM_WIN32(GetLastError()));
    OleString text(static_cast<size_t>(needed), OLECHAR(0));
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, &text[0], needed);
    return text;
}

std::string Utf8FromOle(const OLECHAR* text, size_t length) {
    if (!text || length == 0) return std::string();
    if (length > static_cast<size_t>(std::numeric_limits<int>::max() / 3)) ThrowComError(E_INVALIDARG);
    const int chars = static_cast<int>(length);
    int needed = WideCharToMultiByte(CP_UTF8, 0, text, chars, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) ThrowComError(HRESULT_FROM_WIN32(GetLastError()));
    std::string utf8(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, chars, &utf8[0], needed, nullptr, nullptr);
    return utf8;
}

std::string Utf8FromOle(const OleString& text) { return Utf8FromOle(text.data(), text.size()); }

}  // namespace comsupport
