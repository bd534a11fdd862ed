// Registrar text: UTF-8 for messages and comparisons without case.
#include "ScriptText.h"

#include <climits>

namespace comserver {
namespace registration {
namespace {

OLECHAR Fold(OLECHAR c) { return (c >= 'A' && c <= 'Z') ? static_cast<OLECHAR>(c - 'A' + 'a') : c; }

}  // namespace

std::string ToUtf8(const OleString& text) {
    if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::string();
    const int length = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &out[0], needed, nullptr, nullptr);
    return out;
}

bool SameText(const OleString& a, const char* b) {
    size_t i = 0;
    for (; i < a.size(); ++i) {
        if (!b[i] || Fold(a[i]) != Fold(static_cast<OLECHAR>(b[i]))) return false;
    }
    return b[i] == 0;
}

bool SameText(const OleString& a, const OleString& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

}  // namespace registration
}  // namespace comserver
