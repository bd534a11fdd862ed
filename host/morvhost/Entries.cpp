// Scan blacklist entries in the stored spelling (3 or 6 upper-case hex pairs joined by ':'), and
// entries shortened to 20 characters when shown back.
#include "Entries.h"

#include <cctype>
#include <vector>

namespace morvhost {
namespace {

constexpr size_t kShownCharacters = 20;

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::string_view Trimmed(std::string_view text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool IsHexPair(std::string_view pair) {
    return pair.size() == 2 && std::isxdigit(static_cast<unsigned char>(pair[0])) &&
           std::isxdigit(static_cast<unsigned char>(pair[1]));
}

// The hex pairs of the entry, or nothing when it is not written in pairs.
std::optional<std::vector<std::string_view>> HexPairs(std::string_view text) {
    std::vector<std::string_view> pairs;
    char separator = text.find(':') != std::string_view::npos   ? ':'
                     : text.find('-') != std::string_view::npos ? '-'
                                                                : 0;
    if (separator) {
        for (size_t start = 0;;) {
            size_t end = text.find(separator, start);
            pairs.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
            if (end == std::string_view::npos) break;
            start = end + 1;
        }
    } else {
        if (text.size() % 2 != 0) return std::nullopt;
        for (size_t i = 0; i < text.size(); i += 2) pairs.push_back(text.substr(i, 2));
    }
    for (std::string_view pair : pairs)
        if (!IsHexPair(pair)) return std::nullopt;
    return pairs;
}

}  // namespace

std::optional<std::string> NormalizedAddress(std::string_view entry) {
    std::optional<std::vector<std::string_view>> pairs = HexPairs(Trimmed(entry));
    if (!pairs || (pairs->size() != 3 && pairs->size() != 6)) return std::nullopt;
    std::string address;
    for (std::string_view pair : *pairs) {
        if (!address.empty()) address += ':';
        for (char c : pair) address += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return address;
}

size_t CharacterCount(std::string_view utf8) {
    size_t count = 0;
    for (char c : utf8)
        if (!IsContinuationByte(c)) ++count;
    return count;
}

std::string Shortened(std::string_view utf8) {
    if (CharacterCount(utf8) <= kShownCharacters) return std::string(utf8);
    size_t characters = 0;
    size_t end = 0;
    for (; end < utf8.size(); ++end) {
        if (!IsContinuationByte(utf8[end]) && characters++ == kShownCharacters) break;
    }
    return std::string(utf8.substr(0, end)) + "\xE2\x80\xA6";
}

}  // namespace morvhost
