// Registrar text: script text is OLECHAR, compared without
// case as the registrar compares keywords and variable names.
#pragma once
#include <windows.h>

#include <string>

namespace comserver {
namespace registration {

using OleString = std::basic_string<OLECHAR>;

// For error messages; an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(const OleString& text);

// ASCII case-insensitive comparisons.
bool SameText(const OleString& a, const char* b);
bool SameText(const OleString& a, const OleString& b);

}  // namespace registration
}  // namespace comserver
