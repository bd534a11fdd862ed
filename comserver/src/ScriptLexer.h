// The registrar's lexer: a script's words and quoted texts, with each
// %NAME% replaced.
#pragma once
#include <vector>

#include "comserver/Registrar.h"
#include "RegistryScript.h"

namespace comserver {
namespace registration {

struct Token {
    OleString text;
    bool quoted = false;
    int line = 0;
};

// Splits the script into words and quoted texts, replacing %NAME% in both.
// Throws ScriptError.
class Lexer {
public:
    // Both are borrowed for the lexer's life.
    Lexer(const OleString& text, const std::vector<Replacement>& replacements)
        : text_(text), replacements_(replacements) {}
    Lexer(OleString&&, const std::vector<Replacement>&) = delete;
    Lexer(const OleString&, std::vector<Replacement>&&) = delete;

    std::vector<Token> Run();

private:
    static bool IsSpace(OLECHAR c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0xFEFF; }
    void SkipSpace();
    OleString Replace(const OleString& raw, int line) const;

    const OleString& text_;
    const std::vector<Replacement>& replacements_;
    size_t pos_ = 0;
    int line_ = 1;
};

}  // namespace registration
}  // namespace comserver
