// The administrator's entries as typed on the command line: MAC addresses and
// vendor prefixes in the one spelling the host stores, and how an entry is
// shown back when it is refused.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace morvhost {

// "00:11:22:33:44:55" for a MAC address, "00:A0:C9" for a vendor prefix
// (OUI), from hex pairs separated by ':' or '-' or by nothing, in either case,
// with blanks around ignored. Nothing when the entry is neither.
std::optional<std::string> NormalizedAddress(std::string_view entry);

// The characters of UTF-8 text (bytes that start one).
size_t CharacterCount(std::string_view utf8);

// The text whole when it is short, else its first characters and "…".
std::string Shortened(std::string_view utf8);

}  // namespace morvhost
