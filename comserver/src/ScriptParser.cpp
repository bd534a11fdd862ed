// The registrar's parser: root keys, key flags, default and named values of
// the types s, e, d and b, each checked before anything is written.
#include "ScriptParser.h"

#include <memory>
#include <string>

namespace comserver {
namespace registration {

std::vector<RootSpec> Parser::Run() {
    std::vector<RootSpec> roots;
    while (pos_ < tokens_.size()) {
        const Token& name = Next("a root key");
        RootSpec root;
        root.name = name.text;
        if (!ResolveRoot(name, root)) throw ScriptError(name.line, "unknown root key '" + ToUtf8(name.text) + "'");
        Expect("{");
        while (!PeekIs("}")) root.keys.push_back(ParseKey());
        Expect("}");
        roots.push_back(std::move(root));
    }
    return roots;
}

bool Parser::ResolveRoot(const Token& token, RootSpec& root) {
    if (token.quoted) return false;
    const OleString& t = token.text;
    if (SameText(t, "HKCR") || SameText(t, "HKEY_CLASSES_ROOT")) {
        root.root = HKEY_CLASSES_ROOT;
        root.classesRoot = true;
    } else if (SameText(t, "HKCU") || SameText(t, "HKEY_CURRENT_USER")) {
        root.root = HKEY_CURRENT_USER;
    } else if (SameText(t, "HKLM") || SameText(t, "HKEY_LOCAL_MACHINE")) {
        root.root = HKEY_LOCAL_MACHINE;
    } else if (SameText(t, "HKU") || SameText(t, "HKEY_USERS")) {
        root.root = HKEY_USERS;
    } else {
        return false;
    }
    return true;
}

bool Parser::PeekIs(const char* word) const {
    if (pos_ >= tokens_.size()) throw ScriptError(LastLine(), std::string("the script ends before '") + word + "'");
    return !tokens_[pos_].quoted && SameText(tokens_[pos_].text, word);
}

const Token& Parser::Next(const char* what) {
    if (pos_ >= tokens_.size())
        throw ScriptError(LastLine(), std::string("the script ends where ") + what + " belongs");
    return tokens_[pos_++];
}

void Parser::Expect(const char* word) {
    const Token& token = Next(word);
    if (token.quoted || !SameText(token.text, word))
        throw ScriptError(token.line, std::string("expected '") + word + "' but found '" + ToUtf8(token.text) + "'");
}

bool Parser::IsPunctuation(const Token& token) {
    return !token.quoted &&
           (token.text == OleString(1, '{') || token.text == OleString(1, '}') || token.text == OleString(1, '='));
}

KeySpec Parser::ParseKey() {
    KeySpec key;
    while (true) {
        const Token& token = Next("a key name");
        key.line = token.line;
        if (!token.quoted && SameText(token.text, "NoRemove")) {
            key.noRemove = true;
        } else if (!token.quoted && SameText(token.text, "ForceRemove")) {
            key.forceRemove = true;
        } else if (!token.quoted && SameText(token.text, "Delete")) {
            key.deleteOnRegister = true;
        } else if (!token.quoted && SameText(token.text, "val")) {
            throw ScriptError(token.line, "'val' belongs inside a key's braces");
        } else {
            if (IsPunctuation(token))
                throw ScriptError(token.line, "expected a key name but found '" + ToUtf8(token.text) + "'");
            key.name = token.text;
            break;
        }
    }
    if (key.name.empty() || key.name.find('\\') != OleString::npos)
        throw ScriptError(key.line, "a key name must be one non-empty name without '\\'");
    if (pos_ < tokens_.size() && PeekIs("=")) {
        ++pos_;
        key.defaultValue = std::make_unique<ValueSpec>(ParseValue(OleString()));
    }
    if (pos_ < tokens_.size() && PeekIs("{")) {
        ++pos_;
        while (!PeekIs("}")) {
            if (!tokens_[pos_].quoted && SameText(tokens_[pos_].text, "val")) {
                ++pos_;
                const Token& name = Next("a value name");
                if (IsPunctuation(name)) throw ScriptError(name.line, "expected a value name after 'val'");
                Expect("=");
                key.values.push_back(ParseValue(name.text));
            } else {
                key.children.push_back(ParseKey());
            }
        }
        Expect("}");
    }
    return key;
}

ValueSpec Parser::ParseValue(const OleString& name) {
    ValueSpec value;
    value.name = name;
    const Token& type = Next("a value type");
    const Token& data = Next("value data");
    if (type.quoted) throw ScriptError(type.line, "expected a value type (s, e, d or b)");
    if (SameText(type.text, "s") || SameText(type.text, "e")) {
        value.type = SameText(type.text, "s") ? REG_SZ : REG_EXPAND_SZ;
        for (OLECHAR c : data.text) {
            unsigned unit = static_cast<unsigned>(c) & 0xFFFF;
            value.data.push_back(static_cast<BYTE>(unit & 0xFF));
            value.data.push_back(static_cast<BYTE>(unit >> 8));
        }
        value.data.push_back(0);
        value.data.push_back(0);
    } else if (SameText(type.text, "d")) {
        value.type = REG_DWORD;
        DWORD number = 0;
        if (!ParseNumber(data.text, number))
            throw ScriptError(data.line, "'" + ToUtf8(data.text) + "' is not a DWORD number");
        for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<BYTE>(number >> (8 * i)));
    } else if (SameText(type.text, "b")) {
        value.type = REG_BINARY;
        if (data.text.size() % 2 != 0) throw ScriptError(data.line, "binary data needs pairs of hex digits");
        for (size_t i = 0; i < data.text.size(); i += 2) {
            int high = HexDigit(data.text[i]), low = HexDigit(data.text[i + 1]);
            if (high < 0 || low < 0)
                throw ScriptError(data.line, "binary data holds a character that is not a hex digit");
            value.data.push_back(static_cast<BYTE>(high * 16 + low));
        }
    } else {
        throw ScriptError(type.line, "unknown value type '" + ToUtf8(type.text) + "' (s, e, d or b)");
    }
    return value;
}

int Parser::HexDigit(OLECHAR c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Parser::ParseNumber(const OleString& text, DWORD& number) {
    unsigned long long value = 0;
    size_t i = 0;
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        i = 2;
    }
    if (i >= text.size()) return false;
    for (; i < text.size(); ++i) {
        int digit = HexDigit(text[i]);
        if (digit < 0 || digit >= base) return false;
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFull) return false;
    }
    number = static_cast<DWORD>(value);
    return true;
}

}  // namespace registration
}  // namespace comserver
