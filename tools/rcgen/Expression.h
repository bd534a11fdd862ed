// Evaluation of the integer expressions of #if/#elif and of resource ids and
// numeric fields: C operators over numbers and object-like macros.
#pragma once
#include <map>
#include <string>

namespace rcgen {

using MacroTable = std::map<std::string, std::string>;

// The value of `expression`; a macro stands for its own value, an unknown name
// for 0 (as in the C preprocessor). Fails with `where` on what it cannot read.
long EvaluateExpression(const std::string& expression, const MacroTable& macros, const std::string& where);

// A C integer literal (decimal, 0x hex or 0 octal; L/U suffixes allowed).
long ParseNumber(const std::string& word, const std::string& where);

}  // namespace rcgen
