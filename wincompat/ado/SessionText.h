// Trimming for the session's texts: connection-string keywords, procedure and
// parameter names (their case is common/CaseCompare.h's).
#pragma once
#include <cctype>
#include <string>
#include <string_view>

namespace wincompat::ado::detail {

inline std::string TrimCopy(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    return std::string(text.substr(b, e - b));
}

}  // namespace wincompat::ado::detail
