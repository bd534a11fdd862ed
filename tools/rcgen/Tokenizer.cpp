// The tokens of resource statements: words, punctuation and string literals
// (escapes decoded, adjacent literals joined), each with its file and line.
#include "Tokenizer.h"

#include <cctype>

#include "Failure.h"

namespace rcgen {

std::vector<Token> Tokenize(const std::vector<Line>& lines) {
    std::vector<Token> tokens;
    for (const Line& line : lines) {
        const std::string& s = line.text;
        for (size_t i = 0; i < s.size();) {
            char c = s[i];
            if (c == ' ' || c == '\t' || c == '\r') {
                ++i;
                continue;
            }
            bool wide = (c == 'L' || c == 'l') && i + 1 < s.size() && s[i + 1] == '"';
            if (c == '"' || wide) {
                if (wide) ++i;
                ++i;
                std::string text;
                bool closed = false;
                while (i < s.size()) {
                    char d = s[i++];
                    if (d == '"') {
                        if (i < s.size() && s[i] == '"') {
                            text.push_back('"');
                            ++i;
                            continue;
                        }
                        closed = true;
                        break;
                    }
                    if (d == '\\' && i < s.size()) {
                        char e = s[i++];
                        switch (e) {
                            case 'n': text.push_back('\n'); break;
                            case 't': text.push_back('\t'); break;
                            case 'r': text.push_back('\r'); break;
                            case 'a': text.push_back('\a'); break;
                            case '0': text.push_back('\0'); break;
                            case 'x': {
                                int value = 0, digits = 0;
                                while (i < s.size() && digits < 4 && isxdigit(static_cast<unsigned char>(s[i]))) {
                                    value = value * 16 + (isdigit(static_cast<unsigned char>(s[i]))
                                                              ? s[i] - '0'
                                                              : (tolower(s[i]) - 'a' + 10));
                                    ++i;
                                    ++digits;
                                }
                                text.push_back(static_cast<char>(value & 0xFF));
                                break;
                            }
                            default: text.push_back(e);
                        }
                        continue;
                    }
                    text.push_back(d);
                }
                if (!closed) Fail(line.where, "a string is not closed");
                // Adjacent literals are one string, as in C.
                if (!tokens.empty() && tokens.back().kind == Token::String && tokens.back().where == line.where) {
                    tokens.back().text += text;
                } else {
                    tokens.push_back({Token::String, text, wide, line.where});
                }
                continue;
            }
            if (isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '\\' || c == '/') {
                size_t start = i;
                while (i < s.size() && (isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_' || s[i] == '.' ||
                                        s[i] == '\\' || s[i] == '/' || s[i] == '-'))
                    ++i;
                tokens.push_back({Token::Word, s.substr(start, i - start), false, line.where});
                continue;
            }
            tokens.push_back({Token::Punct, std::string(1, c), false, line.where});
            ++i;
        }
    }
    return tokens;
}

}  // namespace rcgen
