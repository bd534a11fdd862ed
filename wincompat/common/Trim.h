// Blanks cut from both ends of a text: connection-string keys and values,
// statement and procedure texts, and the texts of values bound as numbers,
// dates or GUIDs.
#pragma once
#include <cctype>
#include <string_view>

namespace wincompat {

// The C locale's white space, as the SQL texts and the value forms know it.
inline std::string_view TrimSpace(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

}  // namespace wincompat
