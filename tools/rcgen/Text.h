// Text conversions of rcgen: ASCII upper case for keywords and names, and the
// UTF-16 form that resources store their text in.
#pragma once
#include <string>

namespace rcgen {

std::string Upper(std::string text);
// UTF-8 to UTF-16 by wincompat's decoder; bytes it refuses as UTF-8 are taken
// one by one as Latin-1 (the usual ANSI page).
std::u16string ToUtf16(const std::string& text);

}  // namespace rcgen
