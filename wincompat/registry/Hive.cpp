// A hive's keys and values written as a registry export (quoted strings, hex for other data, a
// closing line that marks the file complete) and parsed back strictly, with the line of any
// refusal.
#include "registry/Hive.h"

#include <cstdio>
#include <cstring>

#include "common/CaseCompare.h"
#include "common/Utf.h"

namespace wincompat {
namespace registry {
namespace {

const char kHeader[] = "Windows Registry Editor Version 5.00";
// The writer ends every file with this line: a file without it was cut short.
const char kTrailer[] = "; end of hive";

std::string EscapeQuoted(const std::u16string& text) {
    std::string utf8 = Utf16ToUtf8(text);
    std::string out;
    out.reserve(utf8.size() + 2);
    out.push_back('"');
    for (char c : utf8) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

// A string value that the quoted form can carry: one terminating NUL, no other
// NUL and no line breaks or other control characters.
bool IsPlainString(const std::vector<BYTE>& data, std::u16string& text) {
    if (data.size() < 2 || data.size() % 2 != 0) return false;
    size_t count = data.size() / 2;
    text.clear();
    for (size_t i = 0; i < count; ++i) {
        char16_t c = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
        if (i + 1 == count) return c == 0;
        if (c < 0x20) return false;
        text.push_back(c);
    }
    return false;
}

std::string HexBytes(const std::vector<BYTE>& data) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < data.size(); ++i) {
        snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", data[i]);
        out += buf;
    }
    return out;
}

std::string FormatValue(const Value& value) {
    std::string line = value.name.empty() ? "@" : EscapeQuoted(value.name);
    line.push_back('=');
    std::u16string text;
    if (value.type == REG_SZ && IsPlainString(value.data, text)) {
        line += EscapeQuoted(text);
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
        char buf[16];
        DWORD dw = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) | (DWORD(value.data[3]) << 24);
        snprintf(buf, sizeof buf, "dword:%08x", dw);
        line += buf;
    } else if (value.type == REG_BINARY) {
        line += "hex:" + HexBytes(value.data);
    } else {
        char buf[24];
        snprintf(buf, sizeof buf, "hex(%x):", value.type);
        line += buf + HexBytes(value.data);
    }
    return line;
}

void SerializeKey(const Key& key, const std::string& path, std::string& out) {
    out += "[" + path + "]\n";
    for (const Value& value : key.values) out += FormatValue(value) + "\n";
    out += "\n";
    for (const auto& entry : key.subkeys)
        SerializeKey(*entry.second, path + "\\" + Utf16ToUtf8(entry.second->name), out);
}

// ---- reading ----

class Reader {
public:
    Reader(const std::string& rootName, Key& root, ParseError& error)
        : rootName_(rootName), root_(root), error_(error) {}

    bool Run(const std::string& text) {
        std::vector<std::string> lines = SplitLines(text);
        size_t first = 0;
        if (lines.empty() || StripBom(lines[0]) != kHeader)
            return Fail(1, "the first line is not \"" + std::string(kHeader) + "\"");
        size_t last = lines.size();
        while (last > first + 1 && lines[last - 1].empty()) --last;
        if (last <= first + 1 || lines[last - 1] != kTrailer || text.back() != '\n')
            return Fail(static_cast<int>(last), "the file does not end with \"" + std::string(kTrailer) +
                                                    "\": it was cut short or edited wrongly");
        Key* current = nullptr;
        for (size_t i = first + 1; i + 1 < last; ++i) {
            int lineNumber = static_cast<int>(i + 1);
            std::string line = lines[i];
            // A value's hex data may continue on the next lines after a trailing backslash.
            while (!line.empty() && line.back() == '\\' && line.find('=') != std::string::npos && IsHexLine(line)) {
                line.pop_back();
                if (++i + 1 >= last) return Fail(lineNumber, "hex data continues past the end of the file");
                line += Trim(lines[i]);
            }
            if (line.empty() || line[0] == ';') continue;
            if (line[0] == '[') {
                if (line.back() != ']') return Fail(lineNumber, "a key line lacks its closing ']'");
                current = OpenSection(line.substr(1, line.size() - 2), lineNumber);
                if (!current) return false;
                continue;
            }
            if (!current) return Fail(lineNumber, "a value appears before any key");
            if (!ParseValueLine(line, *current, lineNumber)) return false;
        }
        return true;
    }

private:
    static std::vector<std::string> SplitLines(const std::string& text) {
        std::vector<std::string> lines;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
            start = end + 1;
        }
        return lines;
    }
    static std::string StripBom(const std::string& line) {
        return line.compare(0, 3, "\xEF\xBB\xBF") == 0 ? line.substr(3) : line;
    }
    static std::string Trim(const std::string& s) {
        size_t b = s.find_first_not_of(" \t");
        return b == std::string::npos ? std::string() : s.substr(b);
    }
    static bool IsHexLine(const std::string& line) {
        size_t eq = line.rfind('=');
        return line.compare(eq + 1, 3, "hex") == 0;
    }

    bool Fail(int line, const std::string& message) {
        error_.line = line;
        error_.message = message;
        return false;
    }

    Key* OpenSection(const std::string& path, int lineNumber) {
        if (!path.empty() && path[0] == '-') {
            Fail(lineNumber, "key deletion lines do not belong in a stored hive");
            return nullptr;
        }
        std::vector<std::string> parts;
        size_t start = 0;
        while (true) {
            size_t end = path.find('\\', start);
            parts.push_back(path.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        if (parts[0] != rootName_) {
            Fail(lineNumber, "key \"" + path + "\" does not belong to " + rootName_);
            return nullptr;
        }
        Key* key = &root_;
        for (size_t i = 1; i < parts.size(); ++i) {
            if (parts[i].empty()) {
                Fail(lineNumber, "key \"" + path + "\" has an empty name part");
                return nullptr;
            }
            key = &key->Child(Utf8ToUtf16(parts[i]));
        }
        return key;
    }

    // Reads a quoted string at line[pos]; pos ends after the closing quote.
    bool ReadQuoted(const std::string& line, size_t& pos, std::string& out, int lineNumber) {
        ++pos;  // opening quote
        out.clear();
        while (pos < line.size()) {
            char c = line[pos++];
            if (c == '"') return true;
            if (c == '\\') {
                if (pos >= line.size()) break;
                out.push_back(line[pos++]);
            } else {
                out.push_back(c);
            }
        }
        return Fail(lineNumber, "a quoted string is not closed");
    }

    bool ParseHexList(const std::string& text, std::vector<BYTE>& data, int lineNumber) {
        data.clear();
        size_t pos = 0;
        while (pos < text.size()) {
            while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
            if (pos >= text.size()) break;
            unsigned value = 0;
            int digits = 0;
            while (pos < text.size() && isxdigit(static_cast<unsigned char>(text[pos])) && digits < 3) {
                value = value * 16 + static_cast<unsigned>(isdigit(static_cast<unsigned char>(text[pos]))
                                                               ? text[pos] - '0'
                                                               : (tolower(text[pos]) - 'a' + 10));
                ++pos;
                ++digits;
            }
            if (digits == 0 || digits > 2) return Fail(lineNumber, "bad hex byte in value data");
            data.push_back(static_cast<BYTE>(value));
            while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
            if (pos < text.size()) {
                if (text[pos] != ',') return Fail(lineNumber, "hex bytes must be separated by commas");
                ++pos;
                if (pos >= text.size()) return Fail(lineNumber, "hex data ends with a comma");
            }
        }
        return true;
    }

    bool ParseValueLine(const std::string& line, Key& key, int lineNumber) {
        Value value;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (line[0] == '"') {
            std::string name;
            if (!ReadQuoted(line, pos, name, lineNumber)) return false;
            value.name = Utf8ToUtf16(name);
            if (value.name.empty()) return Fail(lineNumber, "a value name is empty (use @ for the default value)");
        } else {
            return Fail(lineNumber, "a line is neither a key, a value nor a comment");
        }
        if (pos >= line.size() || line[pos] != '=') return Fail(lineNumber, "a value lacks '='");
        ++pos;
        std::string rest = line.substr(pos);
        if (!rest.empty() && rest[0] == '"') {
            size_t qpos = 0;
            std::string text;
            if (!ReadQuoted(rest, qpos, text, lineNumber)) return false;
            if (qpos != rest.size()) return Fail(lineNumber, "text follows a quoted value");
            std::u16string wide = Utf8ToUtf16(text);
            value.type = REG_SZ;
            for (char16_t c : wide) {
                value.data.push_back(static_cast<BYTE>(c & 0xFF));
                value.data.push_back(static_cast<BYTE>(c >> 8));
            }
            value.data.push_back(0);
            value.data.push_back(0);
        } else if (rest.compare(0, 6, "dword:") == 0) {
            std::string digits = rest.substr(6);
            if (digits.size() != 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return Fail(lineNumber, "a dword value needs exactly eight hex digits");
            DWORD dw = static_cast<DWORD>(strtoul(digits.c_str(), nullptr, 16));
            value.type = REG_DWORD;
            value.data = {static_cast<BYTE>(dw), static_cast<BYTE>(dw >> 8), static_cast<BYTE>(dw >> 16),
                          static_cast<BYTE>(dw >> 24)};
        } else if (rest.compare(0, 4, "hex:") == 0) {
            value.type = REG_BINARY;
            if (!ParseHexList(rest.substr(4), value.data, lineNumber)) return false;
        } else if (rest.compare(0, 4, "hex(") == 0) {
            size_t close = rest.find("):");
            if (close == std::string::npos || close == 4) return Fail(lineNumber, "bad hex(type) value");
            std::string type = rest.substr(4, close - 4);
            if (type.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos || type.size() > 8)
                return Fail(lineNumber, "bad value type in hex(type)");
            value.type = static_cast<DWORD>(strtoul(type.c_str(), nullptr, 16));
            if (!ParseHexList(rest.substr(close + 2), value.data, lineNumber)) return false;
        } else {
            return Fail(lineNumber, "unknown value data form");
        }
        if (Value* existing = key.FindValue(value.name)) {
            *existing = std::move(value);
        } else {
            key.values.push_back(std::move(value));
        }
        return true;
    }

    const std::string& rootName_;
    Key& root_;
    ParseError& error_;
};

}  // namespace

Key* Key::Find(const std::u16string& subkeyName) const {
    auto it = subkeys.find(Folded(subkeyName));
    return it == subkeys.end() ? nullptr : it->second.get();
}

Key* Key::FindPath(const std::vector<std::u16string>& path) const {
    const Key* key = this;
    for (const std::u16string& part : path) {
        key = key->Find(part);
        if (!key) return nullptr;
    }
    return const_cast<Key*>(key);
}

Value* Key::FindValue(const std::u16string& valueName) {
    std::u16string folded = Folded(valueName);
    for (Value& value : values)
        if (Folded(value.name) == folded) return &value;
    return nullptr;
}

Key& Key::Child(const std::u16string& subkeyName, bool* created) {
    std::unique_ptr<Key>& slot = subkeys[Folded(subkeyName)];
    if (created) *created = !slot;
    if (!slot) {
        slot = std::make_unique<Key>();
        slot->name = subkeyName;
    }
    return *slot;
}

std::unique_ptr<Key> Key::Clone() const {
    auto copy = std::make_unique<Key>();
    copy->name = name;
    copy->values = values;
    for (const auto& entry : subkeys) copy->subkeys[entry.first] = entry.second->Clone();
    return copy;
}

std::string Serialize(const Key& root, const std::string& rootName) {
    std::string out = std::string(kHeader) + "\n\n";
    SerializeKey(root, rootName, out);
    out += kTrailer;
    out += "\n";
    return out;
}

bool Parse(const std::string& text, const std::string& rootName, Key& root, ParseError& error) {
    root = Key();
    Reader reader(rootName, root, error);
    return reader.Run(text);
}

}  // namespace registry
}  // namespace wincompat
