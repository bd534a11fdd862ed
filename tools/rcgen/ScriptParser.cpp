// The resource statements of a script, turned into resources: ids and types,
// the named files' bytes, string tables and the version resource.
#include "ScriptParser.h"

#include <cctype>
#include <set>

#include "Failure.h"
#include "Files.h"
#include "Text.h"

namespace rcgen {

std::vector<Resource> ScriptParser::Run() {
    while (pos_ < tokens_.size()) Statement();
    // String tables become blocks of sixteen, as the resource compiler lays them out.
    std::map<std::pair<uint16_t, uint16_t>, std::map<uint16_t, std::u16string>> blocks;
    for (const auto& entry : strings_)
        blocks[{static_cast<uint16_t>((entry.first.second >> 4) + 1), entry.first.first}]
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

const Token& ScriptParser::Peek() const {
    if (pos_ >= tokens_.size()) Fail(tokens_.empty() ? "input" : tokens_.back().where, "unexpected end of the script");
    return tokens_[pos_];
}

const Token& ScriptParser::Next() {
    const Token& t = Peek();
    ++pos_;
    return t;
}

bool ScriptParser::IsWord(const Token& t, const char* word) const {
    return t.kind == Token::Word && Upper(t.text) == word;
}
bool ScriptParser::IsBegin(const Token& t) const {
    return IsWord(t, "BEGIN") || (t.kind == Token::Punct && t.text == "{");
}
bool ScriptParser::IsEnd(const Token& t) const { return IsWord(t, "END") || (t.kind == Token::Punct && t.text == "}"); }

void ScriptParser::ExpectBegin() {
    const Token& t = Next();
    if (!IsBegin(t)) Fail(t.where, "expected BEGIN but found '" + t.text + "'");
}

// A numeric expression: tokens up to a comma, the end of the line or a keyword.
long ScriptParser::NumberExpression() {
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

bool ScriptParser::IsNumeric(const Token& t, long& value) const {
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

void ScriptParser::Statement() {
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
    static const std::set<std::string> kBlocks = {"TEXTINCLUDE", "DIALOG",       "DIALOGEX",         "MENU",
                                                  "MENUEX",      "ACCELERATORS", "DESIGNINFO",       "TOOLBAR",
                                                  "GUIDELINES",  "DLGINIT",      "AFX_DIALOG_LAYOUT"};
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
    static const std::set<std::string> kMemoryOptions = {"PRELOAD", "LOADONCALL", "MOVEABLE", "DISCARDABLE", "PURE",
                                                         "IMPURE",  "FIXED",      "SHARED",   "NONSHARED"};
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

void ScriptParser::SkipBlock() {
    ExpectBegin();
    int depth = 1;
    while (depth > 0) {
        const Token& t = Next();
        if (IsBegin(t))
            ++depth;
        else if (IsEnd(t))
            --depth;
    }
}

void ScriptParser::VersionInfo(Resource& resource, const std::string& where) {
    uint32_t fixed[13] = {0xFEEF04BD, 0x00010000, 0, 0, 0, 0, 0x3F, 0, 0x40004, 2, 0, 0, 0};
    while (!IsBegin(Peek())) {
        const Token& field = Next();
        std::string name = Upper(field.text);
        if (name == "FILEVERSION" || name == "PRODUCTVERSION") {
            long parts[4] = {0, 0, 0, 0};
            for (int i = 0; i < 4; ++i) {
                parts[i] = NumberExpression();
                if (i < 3 && Peek().kind == Token::Punct && Peek().text == ",")
                    ++pos_;
                else
                    break;
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

VersionNode ScriptParser::VersionBlock() {
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

}  // namespace rcgen
