// The tokens of resource statements: words, punctuation and string literals
// (escapes decoded, adjacent literals joined), each with its file and line.
#pragma once
#include <string>
#include <vector>

#include "Preprocessor.h"

namespace rcgen {

struct Token {
    enum Kind { Word, String, Punct } kind;
    std::string text;  // strings: the decoded bytes (UTF-8)
    bool wide = false;
    std::string where;
};

std::vector<Token> Tokenize(const std::vector<Line>& lines);

}  // namespace rcgen
