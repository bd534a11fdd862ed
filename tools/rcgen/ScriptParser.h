// The resource statements of a script: LANGUAGE, STRINGTABLE, VERSIONINFO and
// "<id> <TYPE> file"; the blocks that matter nowhere here are skipped.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Preprocessor.h"
#include "ResourceData.h"
#include "Tokenizer.h"

namespace rcgen {

class ScriptParser {
public:
    // `pre` evaluates ids and finds the named files; `rcDir` is the script's folder.
    ScriptParser(std::vector<Token> tokens, Preprocessor& pre, std::string rcDir)
        : tokens_(std::move(tokens)), pre_(pre), rcDir_(std::move(rcDir)) {}

    // Every resource of the script, the string tables last, in blocks of sixteen.
    std::vector<Resource> Run();

private:
    const Token& Peek() const;
    const Token& Next();
    bool IsWord(const Token& t, const char* word) const;
    bool IsBegin(const Token& t) const;
    bool IsEnd(const Token& t) const;
    void ExpectBegin();

    long Value(const std::string& expression, const std::string& where) const {
        return pre_.Evaluate(expression, where);
    }
    long NumberExpression();
    bool IsNumeric(const Token& t, long& value) const;

    void Statement();
    void SkipBlock();
    void VersionInfo(Resource& resource, const std::string& where);
    VersionNode VersionBlock();

    std::vector<Token> tokens_;
    Preprocessor& pre_;
    std::string rcDir_;
    size_t pos_ = 0;
    uint16_t language_ = 0x0409;
    std::map<std::pair<uint16_t, uint16_t>, std::u16string> strings_;
    std::vector<Resource> resources_;
};

}  // namespace rcgen
