// rcgen: reads a module's resource script (.rc) and writes a C++ source that
// carries its resources, for linking into the shared library that stands in
// for the DLL on Linux. It understands the part of the .rc language that COM
// servers use:
//   #include, #define (object-like), #undef, #if/#ifdef/#ifndef/#elif/#else/#endif, #pragma
//   LANGUAGE lang, sublang
//   <id> <TYPE> "file"                (REGISTRY, TYPELIB, RCDATA, HTML, named or numbered types)
//   STRINGTABLE BEGIN <id> "text" ... END
//   <id> VERSIONINFO <fixed fields> BEGIN BLOCK "StringFileInfo" ... BLOCK "VarFileInfo" ... END
// Dialogs, menus, TEXTINCLUDE and similar blocks are skipped; icons, cursors,
// bitmaps and fonts are skipped too (nothing reads them here). Anything else
// is an error with the file and line.
//
// rcgen [-I dir]... [-D name[=value]]... [--depfile file] -o out.cpp input.rc
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Failure {
    std::string message;
};

[[noreturn]] void Fail(const std::string& where, const std::string& message) { throw Failure{where + ": " + message}; }

bool ReadFileBytes(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool FileExists(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return static_cast<bool>(in);
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return text;
}

// UTF-8 to UTF-16; bytes that are not UTF-8 are taken as Latin-1 (the usual ANSI page).
std::u16string ToUtf16(const std::string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 9;
        uint32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        bool valid = extra != 9 && i + extra < text.size() + (extra ? 0 : 1);
        for (size_t k = 1; valid && k <= extra; ++k) {
            if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                valid = false;
            } else {
                cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
            }
        }
        if (!valid) {
            out.push_back(c);
            ++i;
            continue;
        }
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

// ---- preprocessing ----

struct Line {
    std::string text;
    std::string where;  // file:line
};

class Preprocessor {
public:
    Preprocessor(std::vector<std::string> includeDirs, std::map<std::string, std::string> defines)
        : includeDirs_(std::move(includeDirs)), macros_(std::move(defines)) {}

    void Run(const std::string& path, std::vector<Line>& out, int depth = 0) {
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
                        if (directive == "if") value = Evaluate(rest, where) != 0;
                        else if (directive == "ifdef") value = macros_.count(Trim(rest)) != 0;
                        else value = macros_.count(Trim(rest)) == 0;
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

    const std::map<std::string, std::string>& Macros() const { return macros_; }
    const std::set<std::string>& FilesRead() const { return read_; }
    void NoteFile(const std::string& path) { read_.insert(path); }

    // Finds a file named in the script: the include folders first (where the
    // build puts generated files such as the type library), then the script's folder.
    std::string Locate(const std::string& name, const std::string& fromDir) const {
        if (!name.empty() && name[0] == '/') return FileExists(name) ? name : std::string();
        for (const std::string& dir : includeDirs_)
            if (FileExists(dir + "/" + name)) return dir + "/" + name;
        if (FileExists(fromDir + "/" + name)) return fromDir + "/" + name;
        return std::string();
    }

    long Evaluate(const std::string& expression, const std::string& where) const {
        ExpressionParser parser(expression, macros_, where);
        return parser.Parse();
    }

private:
    static std::vector<std::string> SplitLogicalLines(const std::string& text) {
        std::vector<std::string> lines;
        std::string current;
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }
    static std::string Trim(const std::string& s) {
        size_t b = s.find_first_not_of(" \t");
        if (b == std::string::npos) return std::string();
        size_t e = s.find_last_not_of(" \t");
        return s.substr(b, e - b + 1);
    }
    // Removes // and /* */ comments outside string literals.
    static std::string StripComments(const std::string& line, bool& inComment) {
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
    static void SplitDirective(const std::string& line, std::string& directive, std::string& rest) {
        size_t i = 1;
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        size_t start = i;
        while (i < line.size() && (isalnum(static_cast<unsigned char>(line[i])) || line[i] == '_')) ++i;
        directive = line.substr(start, i - start);
        rest = Trim(line.substr(i));
    }
    void Define(const std::string& rest) {
        size_t i = 0;
        while (i < rest.size() && (isalnum(static_cast<unsigned char>(rest[i])) || rest[i] == '_')) ++i;
        std::string name = rest.substr(0, i);
        if (name.empty()) return;
        if (i < rest.size() && rest[i] == '(') return;  // function-like macros play no part in resources
        macros_[name] = Trim(rest.substr(i));
    }
    void Include(const std::string& rest, const std::string& from, std::vector<Line>& out, int depth,
                 const std::string& where) {
        if (rest.size() < 2) Fail(where, "#include needs a file name");
        bool system = rest[0] == '<';
        char close = system ? '>' : '"';
        size_t end = rest.find(close, 1);
        if ((rest[0] != '"' && !system) || end == std::string::npos) Fail(where, "bad #include line");
        std::string name = rest.substr(1, end - 1);
        std::string found = Locate(name, DirectoryOf(from));
        static const std::set<std::string> kPlatformHeaders = {"windows.h", "winres.h", "afxres.h", "atlres.h",
                                                               "winresrc.h", "winver.h", "commctrl.h", "verrsrc.h"};
        if (found.empty()) {
            std::string lower = name;
            for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
            if (system || kPlatformHeaders.count(lower)) return;  // the platform's own headers add nothing needed here
            Fail(where, "cannot find #include \"" + name + "\"");
        }
        Run(found, out, depth + 1);
    }

    class ExpressionParser {
    public:
        ExpressionParser(const std::string& text, const std::map<std::string, std::string>& macros,
                         const std::string& where)
            : text_(text), macros_(macros), where_(where) {}
        long Parse() {
            long value = Or();
            Skip();
            if (pos_ != text_.size()) Fail(where_, "cannot read the expression \"" + text_ + "\"");
            return value;
        }

    private:
        void Skip() {
            while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
        }
        bool Accept(const char* op) {
            Skip();
            size_t n = strlen(op);
            if (text_.compare(pos_, n, op) == 0) {
                // '|' must not be taken for '||', nor '&' for '&&'
                if (n == 1 && (op[0] == '|' || op[0] == '&') && pos_ + 1 < text_.size() && text_[pos_ + 1] == op[0])
                    return false;
                pos_ += n;
                return true;
            }
            return false;
        }
        long Or() {
            long v = And();
            while (Accept("||")) v = (And() != 0) || v ? 1 : 0;
            return v;
        }
        long And() {
            long v = BitOr();
            while (Accept("&&")) {
                long r = BitOr();
                v = (v != 0 && r != 0) ? 1 : 0;
            }
            return v;
        }
        long BitOr() {
            long v = Equality();
            while (Accept("|")) v |= Equality();
            return v;
        }
        long Equality() {
            long v = Additive();
            while (true) {
                if (Accept("==")) v = v == Additive();
                else if (Accept("!=")) v = v != Additive();
                else if (Accept(">=")) v = v >= Additive();
                else if (Accept("<=")) v = v <= Additive();
                else if (Accept(">")) v = v > Additive();
                else if (Accept("<")) v = v < Additive();
                else return v;
            }
        }
        long Additive() {
            long v = Unary();
            while (true) {
                if (Accept("+")) v += Unary();
                else if (Accept("-")) v -= Unary();
                else return v;
            }
        }
        long Unary() {
            if (Accept("!")) return !Unary();
            if (Accept("-")) return -Unary();
            if (Accept("~")) return ~Unary();
            if (Accept("(")) {
                long v = Or();
                if (!Accept(")")) Fail(where_, "missing ')' in \"" + text_ + "\"");
                return v;
            }
            Skip();
            size_t start = pos_;
            while (pos_ < text_.size() && (isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_')) ++pos_;
            std::string word = text_.substr(start, pos_ - start);
            if (word.empty()) Fail(where_, "cannot read the expression \"" + text_ + "\"");
            if (isdigit(static_cast<unsigned char>(word[0]))) return Number(word, where_);
            if (word == "defined") {
                bool paren = Accept("(");
                Skip();
                size_t s = pos_;
                while (pos_ < text_.size() && (isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_')) ++pos_;
                std::string name = text_.substr(s, pos_ - s);
                if (paren && !Accept(")")) Fail(where_, "missing ')' after defined(");
                return macros_.count(name) ? 1 : 0;
            }
            auto it = macros_.find(word);
            if (it == macros_.end()) return 0;  // as the C preprocessor does
            if (++depth_ > 32) Fail(where_, "macro " + word + " refers to itself");
            ExpressionParser inner(it->second.empty() ? "0" : it->second, macros_, where_);
            inner.depth_ = depth_;
            return inner.Parse();
        }

        const std::string& text_;
        const std::map<std::string, std::string>& macros_;
        std::string where_;
        size_t pos_ = 0;
        int depth_ = 0;

    public:
        static long Number(const std::string& word, const std::string& where) {
            std::string digits = word;
            while (!digits.empty() && (digits.back() == 'L' || digits.back() == 'l' || digits.back() == 'U' ||
                                       digits.back() == 'u'))
                digits.pop_back();
            char* end = nullptr;
            long value = strtol(digits.c_str(), &end, 0);
            if (digits.empty() || *end) Fail(where, "\"" + word + "\" is not a number");
            return value;
        }
    };

    std::vector<std::string> includeDirs_;
    std::map<std::string, std::string> macros_;
    std::set<std::string> read_;
};

// ---- tokens of the resource statements ----

struct Token {
    enum Kind { Word, String, Punct } kind;
    std::string text;  // strings: the decoded bytes (UTF-8)
    bool wide = false;
    std::string where;
};

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
                                    value = value * 16 + (isdigit(static_cast<unsigned char>(s[i])) ? s[i] - '0' : (tolower(s[i]) - 'a' + 10));
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

// ---- resources and their binary forms ----

struct Resource {
    bool typeIsId = false;
    uint16_t typeId = 0;
    std::string typeName;
    bool nameIsId = false;
    uint16_t nameId = 0;
    std::string nameName;
    uint16_t language = 0;
    std::string data;
};

void AppendWord(std::string& out, uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}
void AppendDword(std::string& out, uint32_t value) {
    AppendWord(out, static_cast<uint16_t>(value & 0xFFFF));
    AppendWord(out, static_cast<uint16_t>(value >> 16));
}
void AppendText(std::string& out, const std::u16string& text, bool terminate) {
    for (char16_t c : text) AppendWord(out, c);
    if (terminate) AppendWord(out, 0);
}
void PadTo4(std::string& out) {
    while (out.size() % 4) out.push_back('\0');
}

// One node of a VS_VERSIONINFO tree.
struct VersionNode {
    std::u16string key;
    bool isText = true;           // value type 1 (text) or 0 (binary)
    std::u16string textValue;
    std::string binaryValue;
    bool hasValue = false;
    std::vector<VersionNode> children;

    std::string Encode() const {
        std::string out;
        AppendWord(out, 0);  // length, set below
        uint16_t valueLength = 0;
        if (hasValue) valueLength = static_cast<uint16_t>(isText ? textValue.size() + 1 : binaryValue.size());
        AppendWord(out, valueLength);
        AppendWord(out, isText ? 1 : 0);
        AppendText(out, key, true);
        PadTo4(out);
        if (hasValue) {
            if (isText) AppendText(out, textValue, true);
            else out += binaryValue;
        }
        for (const VersionNode& child : children) {
            PadTo4(out);
            out += child.Encode();
        }
        uint16_t length = static_cast<uint16_t>(out.size());
        out[0] = static_cast<char>(length & 0xFF);
        out[1] = static_cast<char>(length >> 8);
        return out;
    }
};

class ScriptParser {
public:
    ScriptParser(std::vector<Token> tokens, Preprocessor& pre, std::string rcDir)
        : tokens_(std::move(tokens)), pre_(pre), rcDir_(std::move(rcDir)) {}

    std::vector<Resource> Run() {
        while (pos_ < tokens_.size()) Statement();
        // String tables become blocks of sixteen, as the resource compiler lays them out.
        std::map<std::pair<uint16_t, uint16_t>, std::map<uint16_t, std::u16string>> blocks;
        for (const auto& entry : strings_) blocks[{static_cast<uint16_t>((entry.first.second >> 4) + 1), entry.first.first}]
                                                [static_cast<uint16_t>(entry.first.second & 15)] = entry.second;
        for (const auto& block : blocks) {
            Resource r;
            r.typeIsId = true;
            r.typeId = 6;
            r.nameIsId = true;
            r.nameId = block.first.first;
            r.language = block.first.second;
            for (uint16_t i = 0; i < 16; ++i) {
                auto it = block.second.find(i);
                std::u16string text = it == block.second.end() ? std::u16string() : it->second;
                AppendWord(r.data, static_cast<uint16_t>(text.size()));
                AppendText(r.data, text, false);
            }
            resources_.push_back(std::move(r));
        }
        return resources_;
    }

private:
    const Token& Peek() const {
        if (pos_ >= tokens_.size()) Fail(tokens_.empty() ? "input" : tokens_.back().where, "unexpected end of the script");
        return tokens_[pos_];
    }
    const Token& Next() {
        const Token& t = Peek();
        ++pos_;
        return t;
    }
    bool IsWord(const Token& t, const char* word) const { return t.kind == Token::Word && Upper(t.text) == word; }
    bool IsBegin(const Token& t) const { return IsWord(t, "BEGIN") || (t.kind == Token::Punct && t.text == "{"); }
    bool IsEnd(const Token& t) const { return IsWord(t, "END") || (t.kind == Token::Punct && t.text == "}"); }
    void ExpectBegin() {
        const Token& t = Next();
        if (!IsBegin(t)) Fail(t.where, "expected BEGIN but found '" + t.text + "'");
    }

    long Value(const std::string& expression, const std::string& where) const { return pre_.Evaluate(expression, where); }

    // A numeric expression: tokens up to a comma, the end of the line or a keyword.
    long NumberExpression() {
        const Token& first = Peek();
        std::string expression;
        std::string where = first.where;
        while (pos_ < tokens_.size() && tokens_[pos_].where == where && tokens_[pos_].kind != Token::String &&
               !(tokens_[pos_].kind == Token::Punct && tokens_[pos_].text == ",") && !IsBegin(tokens_[pos_])) {
            expression += tokens_[pos_].text + " ";
            ++pos_;
        }
        if (expression.empty()) Fail(where, "expected a number");
        return Value(expression, where);
    }

    bool IsNumeric(const Token& t, long& value) const {
        if (t.kind != Token::Word) return false;
        if (isdigit(static_cast<unsigned char>(t.text[0]))) {
            value = Value(t.text, t.where);
            return true;
        }
        auto it = pre_.Macros().find(t.text);
        if (it == pre_.Macros().end()) return false;
        value = Value(t.text, t.where);
        return true;
    }

    void Statement() {
        const Token& first = Next();
        if (IsWord(first, "LANGUAGE")) {
            long primary = NumberExpression();
            const Token& comma = Next();
            if (comma.text != ",") Fail(comma.where, "LANGUAGE needs two numbers");
            long sub = NumberExpression();
            language_ = static_cast<uint16_t>((sub << 10) | primary);
            return;
        }
        if (IsWord(first, "STRINGTABLE")) {
            while (!IsBegin(Peek())) Next();  // memory options
            ++pos_;
            while (!IsEnd(Peek())) {
                long id = NumberExpression();
                if (Peek().kind == Token::Punct && Peek().text == ",") ++pos_;
                const Token& text = Next();
                if (text.kind != Token::String) Fail(text.where, "a string table entry needs a quoted text");
                if (id < 0 || id > 0xFFFF) Fail(text.where, "string id out of range");
                auto key = std::make_pair(language_, static_cast<uint16_t>(id));
                if (strings_.count(key)) Fail(text.where, "string " + std::to_string(id) + " is defined twice");
                strings_[key] = ToUtf16(text.text);
            }
            ++pos_;
            return;
        }
        if (first.kind == Token::Punct) Fail(first.where, "unexpected '" + first.text + "'");

        Resource resource;
        resource.language = language_;
        long number = 0;
        if (first.kind == Token::String) {
            resource.nameName = Upper(first.text);
        } else if (IsNumeric(first, number)) {
            if (number < 0 || number > 0xFFFF) Fail(first.where, "resource id out of range");
            resource.nameIsId = true;
            resource.nameId = static_cast<uint16_t>(number);
        } else {
            resource.nameName = Upper(first.text);
        }
        const Token& type = Next();
        std::string upperType = Upper(type.text);
        if (upperType == "VERSIONINFO") {
            VersionInfo(resource, type.where);
            return;
        }
        static const std::set<std::string> kBlocks = {"TEXTINCLUDE", "DIALOG", "DIALOGEX", "MENU", "MENUEX",
                                                      "ACCELERATORS", "DESIGNINFO", "TOOLBAR", "GUIDELINES",
                                                      "DLGINIT", "AFX_DIALOG_LAYOUT"};
        if (kBlocks.count(upperType)) {
            while (!IsBegin(Peek())) ++pos_;
            SkipBlock();
            return;
        }
        static const std::set<std::string> kIgnoredFiles = {"ICON", "CURSOR", "BITMAP", "FONT", "PNG"};
        if (IsNumeric(type, number)) {
            resource.typeIsId = true;
            resource.typeId = static_cast<uint16_t>(number);
        } else if (upperType == "RCDATA") {
            resource.typeIsId = true;
            resource.typeId = 10;
        } else if (upperType == "HTML") {
            resource.typeIsId = true;
            resource.typeId = 23;
        } else if (type.kind == Token::Word || type.kind == Token::String) {
            resource.typeName = upperType;
        } else {
            Fail(type.where, "expected a resource type");
        }
        static const std::set<std::string> kMemoryOptions = {"PRELOAD", "LOADONCALL", "MOVEABLE", "DISCARDABLE",
                                                             "PURE", "IMPURE", "FIXED", "SHARED", "NONSHARED"};
        while (Peek().kind == Token::Word && kMemoryOptions.count(Upper(Peek().text))) ++pos_;
        const Token& file = Next();
        if (IsBegin(file)) Fail(file.where, "inline resource data is not supported: put the data in a file");
        if (file.kind != Token::String && file.kind != Token::Word) Fail(file.where, "expected a file name");
        if (kIgnoredFiles.count(upperType)) return;
        std::string path = pre_.Locate(file.text, rcDir_);
        if (path.empty()) Fail(file.where, "cannot find the resource file \"" + file.text + "\"");
        if (!ReadFileBytes(path, resource.data)) Fail(file.where, "cannot read \"" + path + "\"");
        pre_.NoteFile(path);
        resources_.push_back(std::move(resource));
    }

    void SkipBlock() {
        ExpectBegin();
        int depth = 1;
        while (depth > 0) {
            const Token& t = Next();
            if (IsBegin(t)) ++depth;
            else if (IsEnd(t)) --depth;
        }
    }

    void VersionInfo(Resource& resource, const std::string& where) {
        uint32_t fixed[13] = {0xFEEF04BD, 0x00010000, 0, 0, 0, 0, 0x3F, 0, 0x40004, 2, 0, 0, 0};
        while (!IsBegin(Peek())) {
            const Token& field = Next();
            std::string name = Upper(field.text);
            if (name == "FILEVERSION" || name == "PRODUCTVERSION") {
                long parts[4] = {0, 0, 0, 0};
                for (int i = 0; i < 4; ++i) {
                    parts[i] = NumberExpression();
                    if (i < 3 && Peek().kind == Token::Punct && Peek().text == ",") ++pos_;
                    else break;
                }
                int at = name == "FILEVERSION" ? 2 : 4;
                fixed[at] = static_cast<uint32_t>((parts[0] << 16) | (parts[1] & 0xFFFF));
                fixed[at + 1] = static_cast<uint32_t>((parts[2] << 16) | (parts[3] & 0xFFFF));
            } else if (name == "FILEFLAGSMASK") {
                fixed[6] = static_cast<uint32_t>(NumberExpression());
            } else if (name == "FILEFLAGS") {
                fixed[7] = static_cast<uint32_t>(NumberExpression());
            } else if (name == "FILEOS") {
                fixed[8] = static_cast<uint32_t>(NumberExpression());
            } else if (name == "FILETYPE") {
                fixed[9] = static_cast<uint32_t>(NumberExpression());
            } else if (name == "FILESUBTYPE") {
                fixed[10] = static_cast<uint32_t>(NumberExpression());
            } else {
                Fail(field.where, "unknown VERSIONINFO field " + field.text);
            }
        }
        VersionNode root;
        root.key = u"VS_VERSION_INFO";
        root.isText = false;
        root.hasValue = true;
        for (uint32_t value : fixed) AppendDword(root.binaryValue, value);
        ExpectBegin();
        while (!IsEnd(Peek())) root.children.push_back(VersionBlock());
        ++pos_;
        resource.typeIsId = true;
        resource.typeId = 16;
        resource.data = root.Encode();
        (void)where;
        resources_.push_back(std::move(resource));
    }

    VersionNode VersionBlock() {
        const Token& kind = Next();
        VersionNode node;
        const Token& key = Next();
        if (key.kind != Token::String) Fail(key.where, "BLOCK and VALUE need a quoted name");
        node.key = ToUtf16(key.text);
        if (IsWord(kind, "BLOCK")) {
            ExpectBegin();
            while (!IsEnd(Peek())) node.children.push_back(VersionBlock());
            ++pos_;
            return node;
        }
        if (!IsWord(kind, "VALUE")) Fail(kind.where, "expected BLOCK or VALUE");
        node.hasValue = true;
        std::string where = key.where;
        if (pos_ < tokens_.size() && tokens_[pos_].text == ",") ++pos_;
        if (Peek().kind == Token::String) {
            std::string text = Next().text;
            while (!text.empty() && text.back() == '\0') text.pop_back();  // "...\0" as some scripts write it
            node.textValue = ToUtf16(text);
            return node;
        }
        node.isText = false;
        while (pos_ < tokens_.size() && tokens_[pos_].where == where && !IsEnd(tokens_[pos_])) {
            long value = NumberExpression();
            AppendWord(node.binaryValue, static_cast<uint16_t>(value));
            if (pos_ < tokens_.size() && tokens_[pos_].text == ",") ++pos_;
        }
        return node;
    }

    std::vector<Token> tokens_;
    Preprocessor& pre_;
    std::string rcDir_;
    size_t pos_ = 0;
    uint16_t language_ = 0x0409;
    std::map<std::pair<uint16_t, uint16_t>, std::u16string> strings_;
    std::vector<Resource> resources_;
};

std::string CharLiteral(const std::string& name) {
    std::string out = "u\"";
    for (char16_t c : ToUtf16(name)) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[12];
            snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out + "\"";
}

std::string Generate(const std::vector<Resource>& resources, const std::string& source) {
    std::ostringstream out;
    out << "// Generated by rcgen from " << source << ": do not edit.\n"
        << "#include <wincompat/resources.h>\n\nnamespace {\n";
    for (size_t i = 0; i < resources.size(); ++i) {
        const std::string& data = resources[i].data;
        out << "const unsigned char kData" << i << "[] = {";
        for (size_t k = 0; k < data.size(); ++k) {
            if (k % 24 == 0) out << "\n   ";
            out << ' ' << static_cast<unsigned>(static_cast<unsigned char>(data[k])) << ',';
        }
        if (data.empty()) out << "0";
        out << "};\n";
    }
    out << "const wincompat::ResourceEntry kEntries[] = {\n";
    for (size_t i = 0; i < resources.size(); ++i) {
        const Resource& r = resources[i];
        out << "    {" << (r.typeIsId ? r.typeId : 0) << ", " << (r.typeIsId ? "nullptr" : CharLiteral(r.typeName))
            << ", " << (r.nameIsId ? r.nameId : 0) << ", " << (r.nameIsId ? "nullptr" : CharLiteral(r.nameName))
            << ", " << r.language << ", kData" << i << ", " << r.data.size() << "},\n";
    }
    if (resources.empty()) out << "    {0, nullptr, 0, nullptr, 0, nullptr, 0},\n";
    out << "};\n"
        << "const wincompat::ModuleResourcesRegistration kRegistration(kEntries, kEntries, "
        << resources.size() << ");\n}  // namespace\n";
    return out.str();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> includeDirs;
    std::map<std::string, std::string> defines = {
        {"RC_INVOKED", "1"}, {"VS_VERSION_INFO", "1"}, {"VS_FFI_FILEFLAGSMASK", "0x3F"}, {"VS_FF_DEBUG", "0x1"},
        {"VS_FF_PRERELEASE", "0x2"}, {"VS_FF_PATCHED", "0x4"}, {"VS_FF_PRIVATEBUILD", "0x8"},
        {"VS_FF_INFOINFERRED", "0x10"}, {"VS_FF_SPECIALBUILD", "0x20"}, {"VOS_UNKNOWN", "0"},
        {"VOS_NT", "0x40000"}, {"VOS__WINDOWS32", "0x4"}, {"VOS_NT_WINDOWS32", "0x40004"}, {"VFT_UNKNOWN", "0"},
        {"VFT_APP", "1"}, {"VFT_DLL", "2"}, {"VFT2_UNKNOWN", "0"}, {"LANG_NEUTRAL", "0"}, {"LANG_ENGLISH", "9"},
        {"LANG_GERMAN", "7"}, {"LANG_FRENCH", "12"}, {"SUBLANG_NEUTRAL", "0"}, {"SUBLANG_DEFAULT", "1"},
        {"SUBLANG_SYS_DEFAULT", "2"}, {"SUBLANG_ENGLISH_US", "1"}, {"SUBLANG_GERMAN", "1"}, {"SUBLANG_FRENCH", "1"},
        {"RT_MANIFEST", "24"}, {"CREATEPROCESS_MANIFEST_RESOURCE_ID", "1"},
        {"ISOLATIONAWARE_MANIFEST_RESOURCE_ID", "2"}};
    std::string output, depfile, input;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const std::string& prefix) -> std::string {
            if (arg.size() > prefix.size()) return arg.substr(prefix.size());
            if (i + 1 >= argc) {
                std::cerr << "rcgen: " << prefix << " needs a value\n";
                exit(2);
            }
            return argv[++i];
        };
        if (arg.compare(0, 2, "-I") == 0) {
            includeDirs.push_back(value("-I"));
        } else if (arg.compare(0, 2, "-D") == 0) {
            std::string define = value("-D");
            size_t eq = define.find('=');
            defines[define.substr(0, eq)] = eq == std::string::npos ? "1" : define.substr(eq + 1);
        } else if (arg == "-o") {
            output = value("-o");
        } else if (arg == "--depfile") {
            depfile = value("--depfile");
        } else if (!arg.empty() && arg[0] == '-') {
            std::cerr << "rcgen: unknown option " << arg << "\n";
            return 2;
        } else {
            input = arg;
        }
    }
    if (input.empty() || output.empty()) {
        std::cerr << "usage: rcgen [-I dir]... [-D name[=value]]... [--depfile file] -o out.cpp input.rc\n";
        return 2;
    }
    try {
        Preprocessor pre(includeDirs, defines);
        std::vector<Line> lines;
        pre.Run(input, lines);
        ScriptParser parser(Tokenize(lines), pre, DirectoryOf(input));
        std::vector<Resource> resources = parser.Run();
        std::string text = Generate(resources, input);
        std::string existing;
        if (!ReadFileBytes(output, existing) || existing != text) {
            std::ofstream out(output, std::ios::binary | std::ios::trunc);
            out << text;
            if (!out) Fail(output, "cannot write the output");
        }
        if (!depfile.empty()) {
            std::ofstream dep(depfile, std::ios::trunc);
            dep << output << ":";
            for (const std::string& file : pre.FilesRead()) dep << " \\\n  " << file;
            dep << "\n";
        }
    } catch (const Failure& failure) {
        std::cerr << "rcgen: " << failure.message << "\n";
        return 1;
    }
    return 0;
}
