// Policy files as administrators save them: in UTF-8, or in the encoding
// their byte order mark or XML declaration names.
#pragma once
#include <string>

namespace morvhost {

// The policy's text in UTF-8 (a byte order mark dropped). `bytes` is decoded
// by its byte order mark, else by the encoding its XML declaration names,
// else as UTF-8. Raises HostError naming `source` ("the policy file F") with
// the offset of the first byte that does not decode, or the unknown encoding.
std::string DecodePolicy(const std::string& bytes, const std::string& source);

}  // namespace morvhost
