// The C preprocessor of resource scripts: comments, logical lines, directives
// and conditionals, and the search of included and named files.
#include "Preprocessor.h"

#include <cctype>
#include <sstream>

#include "Failure.h"
#include "Files.h"

namespace rcgen {
namespace {

std::vector<std::string> SplitLogicalLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// Removes // and /* */ comments outside string literals.
std::string StripComments(const std::string& line, bool& inComment) {
    std::string out;
    bool inString = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (inComment) {
            if (line.compare(i, 2, "*/") == 0) {
                inComment = false;
                ++i;
            }
            continue;
        }
        char c = line[i];
        if (inString) {
            out.push_back(c);
            if (c == '"') {
                if (i + 1 < line.size() && line[i + 1] == '"') {
                    out.push_back(line[++i]);
                } else {
                    inString = false;
                }
            } else if (c == '\\' && i + 1 < line.size()) {
                out.push_back(line[++i]);
            }
            continue;
        }
        if (c == '"') inString = true;
        if (line.compare(i, 2, "//") == 0) break;
        if (line.compare(i, 2, "/*") == 0) {
            inComment = true;
            ++i;
            continue;
        }
        out.push_back(c);
    }
    return out;
}

void SplitDirective(const std::string& line, std::string& directive, std::string& rest) {
    size_t i = 1;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t start = i;
    while (i < line.size() && (isalnum(static_cast<unsigned char>(line[i])) || line[i] == '_')) ++i;
    directive = line.substr(start, i - start);
    rest = Trim(line.substr(i));
}

}  // namespace

void Preprocessor::Run(const std::string& path, std::vector<Line>& out, int depth) {
    if (depth > 20) Fail(path, "#include nests too deeply");
    std::string text;
    if (!ReadFileBytes(path, text)) Fail(path, "cannot read the file");
    read_.insert(path);
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF && static_cast<unsigned char>(text[1]) == 0xFE)
        Fail(path, "UTF-16 resource scripts are not supported: save it as UTF-8");
    std::vector<std::string> lines = SplitLogicalLines(text);
    struct Conditional {
        bool parentActive, active, taken;
    };
    std::vector<Conditional> stack;
    auto active = [&] { return stack.empty() || stack.back().active; };
    bool inComment = false;
    for (size_t n = 0; n < lines.size(); ++n) {
        std::string where = path + ":" + std::to_string(n + 1);
        std::string line = StripComments(lines[n], inComment);
        std::string trimmed = Trim(line);
        if (!trimmed.empty() && trimmed[0] == '#') {
            std::string directive, rest;
            SplitDirective(trimmed, directive, rest);
            if (directive == "if" || directive == "ifdef" || directive == "ifndef") {
                bool parent = active();
                bool value = false;
                if (parent) {
                    if (directive == "if")
                        value = Evaluate(rest, where) != 0;
                    else if (directive == "ifdef")
                        value = macros_.count(Trim(rest)) != 0;
                    else
                        value = macros_.count(Trim(rest)) == 0;
                }
                stack.push_back({parent, parent && value, parent && value});
            } else if (directive == "elif") {
                if (stack.empty()) Fail(where, "#elif without #if");
                Conditional& c = stack.back();
                bool value = c.parentActive && !c.taken && Evaluate(rest, where) != 0;
                c.active = value;
                c.taken = c.taken || value;
            } else if (directive == "else") {
                if (stack.empty()) Fail(where, "#else without #if");
                Conditional& c = stack.back();
                c.active = c.parentActive && !c.taken;
                c.taken = true;
            } else if (directive == "endif") {
                if (stack.empty()) Fail(where, "#endif without #if");
                stack.pop_back();
            } else if (!active()) {
                continue;
            } else if (directive == "define") {
                Define(rest);
            } else if (directive == "undef") {
                macros_.erase(Trim(rest));
            } else if (directive == "include") {
                Include(rest, path, out, depth, where);
            } else if (directive == "pragma" || directive.empty()) {
                continue;
            } else if (directive == "error") {
                Fail(where, "#error " + rest);
            } else {
                Fail(where, "unsupported directive #" + directive);
            }
            continue;
        }
        if (active() && !trimmed.empty()) out.push_back({line, where});
    }
    if (!stack.empty()) Fail(path, "#if without #endif");
}

std::string Preprocessor::Locate(const std::string& name, const std::string& fromDir) const {
    if (!name.empty() && name[0] == '/') return FileExists(name) ? name : std::string();
    for (const std::string& dir : includeDirs_)
        if (FileExists(dir + "/" + name)) return dir + "/" + name;
    if (FileExists(fromDir + "/" + name)) return fromDir + "/" + name;
    return std::string();
}

void Preprocessor::Define(const std::string& rest) {
    size_t i = 0;
    while (i < rest.size() && (isalnum(static_cast<unsigned char>(rest[i])) || rest[i] == '_')) ++i;
    std::string name = rest.substr(0, i);
    if (name.empty()) return;
    if (i < rest.size() && rest[i] == '(') return;  // function-like macros play no part in resources
    macros_[name] = Trim(rest.substr(i));
}

void Preprocessor::Include(const std::string& rest, const std::string& from, std::vector<Line>& out, int depth,
                           const std::string& where) {
    if (rest.size() < 2) Fail(where, "#include needs a file name");
    bool system = rest[0] == '<';
    char close = system ? '>' : '"';
    size_t end = rest.find(close, 1);
    if ((rest[0] != '"' && !system) || end == std::string::npos) Fail(where, "bad #include line");
    std::string name = rest.substr(1, end - 1);
    std::string found = Locate(name, DirectoryOf(from));
    static const std::set<std::string> kPlatformHeaders = {"windows.h",  "winres.h", "afxres.h",   "atlres.h",
                                                           "winresrc.h", "winver.h", "commctrl.h", "verrsrc.h"};
    if (found.empty()) {
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        if (system || kPlatformHeaders.count(lower)) return;  // the platform's own headers add nothing needed here
        Fail(where, "cannot find #include \"" + name + "\"");
    }
    Run(found, out, depth + 1);
}

}  // namespace rcgen
