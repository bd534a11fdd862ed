// The registrar's parser: the tokens of a script into root keys, key trees and
// typed values, the whole script before anything is written.
#pragma once
#include <windows.h>

#include <utility>
#include <vector>

#include "RegistryScript.h"
#include "ScriptLexer.h"

namespace comserver {
namespace registration {

// Throws ScriptError.
class Parser {
public:
    explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    std::vector<RootSpec> Run();

private:
    static bool ResolveRoot(const Token& token, RootSpec& root);
    bool PeekIs(const char* word) const;
    int LastLine() const { return tokens_.empty() ? 1 : tokens_.back().line; }
    const Token& Next(const char* what);
    void Expect(const char* word);
    static bool IsPunctuation(const Token& token);

    KeySpec ParseKey();
    ValueSpec ParseValue(const OleString& name);

    static int HexDigit(OLECHAR c);
    static bool ParseNumber(const OleString& text, DWORD& number);

    std::vector<Token> tokens_;
    size_t pos_ = 0;
};

}  // namespace registration
}  // namespace comserver
