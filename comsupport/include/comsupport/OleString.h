// UTF-16 text as COM passes it, and its conversion to and from UTF-8.
#pragma once
#include <windows.h>

#include <string>

namespace comsupport {

using OleString = std::basic_string<OLECHAR>;

// Uses the platform's UTF-8 conversion: invalid sequences become U+FFFD.
OleString OleFromUtf8(const std::string& utf8);
std::string Utf8FromOle(const OLECHAR* text, size_t length);
std::string Utf8FromOle(const OleString& text);

}  // namespace comsupport
