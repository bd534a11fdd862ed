// The registrar's lexer: words and quoted texts (a doubled quote is a quote),
// line numbers for messages, and the %NAME% replacements.
#include "ScriptLexer.h"

#include <utility>

namespace comserver {
namespace registration {

std::vector<Token> Lexer::Run() {
    std::vector<Token> tokens;
    while (true) {
        SkipSpace();
        if (pos_ >= text_.size()) break;
        Token token;
        token.line = line_;
        if (text_[pos_] == '\'') {
            token.quoted = true;
            ++pos_;
            OleString raw;
            bool closed = false;
            while (pos_ < text_.size()) {
                OLECHAR c = text_[pos_++];
                if (c == '\n') ++line_;
                if (c == '\'') {
                    if (pos_ < text_.size() && text_[pos_] == '\'') {
                        raw.push_back('\'');
                        ++pos_;
                        continue;
                    }
                    closed = true;
                    break;
                }
                raw.push_back(c);
            }
            if (!closed) throw ScriptError(token.line, "a quoted text is not closed");
            token.text = Replace(raw, token.line);
        } else {
            OleString raw;
            while (pos_ < text_.size() && !IsSpace(text_[pos_])) raw.push_back(text_[pos_++]);
            token.text = Replace(raw, token.line);
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

void Lexer::SkipSpace() {
    while (pos_ < text_.size() && IsSpace(text_[pos_])) {
        if (text_[pos_] == '\n') ++line_;
        ++pos_;
    }
}

OleString Lexer::Replace(const OleString& raw, int line) const {
    OleString out;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '%') {
            out.push_back(raw[i]);
            continue;
        }
        size_t end = raw.find('%', i + 1);
        if (end == OleString::npos) throw ScriptError(line, "a '%' has no closing '%'");
        OleString name = raw.substr(i + 1, end - i - 1);
        if (name.empty()) {
            out.push_back('%');  // %% is a percent sign
        } else {
            const Replacement* found = nullptr;
            for (const Replacement& replacement : replacements_)
                if (SameText(replacement.name, name)) found = &replacement;
            if (!found) throw ScriptError(line, "unknown replacement variable %" + ToUtf8(name) + "%");
            out += found->value;
        }
        i = end;
    }
    return out;
}

}  // namespace registration
}  // namespace comserver
