// The C preprocessor of resource scripts: #include, object-like #define and
// #undef, conditionals and #pragma; the lines left to translate come out with
// the file and line they came from.
#pragma once
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Expression.h"

namespace rcgen {

struct Line {
    std::string text;
    std::string where;  // file:line
};

class Preprocessor {
public:
    Preprocessor(std::vector<std::string> includeDirs, MacroTable defines)
        : includeDirs_(std::move(includeDirs)), macros_(std::move(defines)) {}

    // Appends the active lines of the file at `path` (and of what it includes) to `out`.
    void Run(const std::string& path, std::vector<Line>& out, int depth = 0);

    const MacroTable& Macros() const { return macros_; }
    const std::set<std::string>& FilesRead() const { return read_; }
    void NoteFile(const std::string& path) { read_.insert(path); }

    // Finds a file named in the script: the include folders first (where the
    // build puts generated files such as the type library), then the script's folder.
    std::string Locate(const std::string& name, const std::string& fromDir) const;

    long Evaluate(const std::string& expression, const std::string& where) const {
        return EvaluateExpression(expression, macros_, where);
    }

private:
    void Define(const std::string& rest);
    void Include(const std::string& rest, const std::string& from, std::vector<Line>& out, int depth,
                 const std::string& where);

    std::vector<std::string> includeDirs_;
    MacroTable macros_;
    std::set<std::string> read_;
};

}  // namespace rcgen
