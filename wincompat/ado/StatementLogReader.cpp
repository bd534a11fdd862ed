// Reads back the JSON Lines that StatementLog.cpp writes. A strict reader
// for exactly that shape: objects, arrays, strings, numbers and null.
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "common/Utf.h"
#include "wincompat/AdoStatementLog.h"

namespace wincompat {
namespace {

class LineReader {
public:
    explicit LineReader(const std::string& line) : s_(line) {}

    LoggedStatement Record() {
        LoggedStatement record;
        Object([&](const std::string& key) {
            if (key == "type") {
                record.commandType = String();
            } else if (key == "text") {
                record.text = String();
            } else if (key == "recordsAffected") {
                std::string number = Number();
                char* end = nullptr;
                record.recordsAffected = std::strtoll(number.c_str(), &end, 10);
                if (*end != 0) Fail("bad recordsAffected");
            } else if (key == "result") {
                record.result = String();
            } else if (key == "parameters") {
                Expect('[');
                bool firstParameter = true;
                while (!Peek(']')) {
                    if (!firstParameter) Expect(',');
                    firstParameter = false;
                    record.parameters.push_back(Parameter());
                }
                Expect(']');
            } else {
                Fail("unknown key \"" + key + "\"");
            }
        });
        if (pos_ != s_.size()) Fail("text after the record");
        return record;
    }

private:
    LoggedStatementParameter Parameter() {
        LoggedStatementParameter p;
        Object([&](const std::string& key) {
            if (key == "name") {
                p.name = String();
            } else if (key == "type") {
                p.type = String();
            } else if (key == "direction") {
                p.direction = String();
            } else if (key == "vt") {
                p.vt = String();
            } else if (key == "size") {
                std::string number = Number();
                char* end = nullptr;
                p.size = std::strtol(number.c_str(), &end, 10);
                if (*end != 0) Fail("bad size");
            } else if (key == "value") {
                if (s_.compare(pos_, 4, "null") == 0) {
                    pos_ += 4;
                } else if (Peek('"')) {
                    p.isNull = false;
                    p.value = String();
                } else {
                    p.isNull = false;
                    p.isNumber = true;
                    p.value = Number();
                }
            } else {
                Fail("unknown parameter key \"" + key + "\"");
            }
        });
        return p;
    }

    // An object: `member` reads the value of each key in turn.
    template <class Member>
    void Object(Member&& member) {
        Expect('{');
        bool first = true;
        while (!Peek('}')) {
            if (!first) Expect(',');
            first = false;
            std::string key = String();
            Expect(':');
            member(key);
        }
        Expect('}');
    }

    bool Peek(char c) const { return pos_ < s_.size() && s_[pos_] == c; }
    void Expect(char c) {
        if (!Peek(c)) Fail(std::string("expected '") + c + "'");
        ++pos_;
    }
    [[noreturn]] void Fail(const std::string& what) const {
        throw std::runtime_error("statement log: " + what + " at column " + std::to_string(pos_ + 1));
    }

    std::string Number() {
        size_t start = pos_;
        while (pos_ < s_.size() && (std::isdigit(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '-' ||
                                    s_[pos_] == '+' || s_[pos_] == '.' || s_[pos_] == 'e' || s_[pos_] == 'E'))
            ++pos_;
        if (start == pos_) Fail("expected a number");
        return s_.substr(start, pos_ - start);
    }

    unsigned Hex4() {
        if (pos_ + 4 > s_.size()) Fail("short \\u escape");
        for (size_t i = 0; i < 4; ++i)
            if (!std::isxdigit(static_cast<unsigned char>(s_[pos_ + i]))) Fail("bad \\u escape");
        unsigned value = static_cast<unsigned>(std::stoul(s_.substr(pos_, 4), nullptr, 16));
        pos_ += 4;
        return value;
    }

    std::string String() {
        Expect('"');
        std::string out;
        while (pos_ < s_.size() && s_[pos_] != '"') {
            char c = s_[pos_++];
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= s_.size()) Fail("escape at the end");
            char e = s_[pos_++];
            switch (e) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'u': {
                    // A surrogate pair comes as two escapes; an unpaired surrogate reads as U+FFFD.
                    std::u16string units(1, static_cast<char16_t>(Hex4()));
                    if (units[0] >= 0xD800 && units[0] <= 0xDBFF && s_.compare(pos_, 2, "\\u") == 0) {
                        pos_ += 2;
                        units += static_cast<char16_t>(Hex4());
                    }
                    out += Utf16ToUtf8(units);
                    break;
                }
                default: Fail("bad escape");
            }
        }
        Expect('"');
        return out;
    }

    const std::string& s_;
    size_t pos_ = 0;
};

}  // namespace

std::vector<LoggedStatement> ReadStatementLog(const std::string& path) {
    std::vector<LoggedStatement> records;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        records.push_back(LineReader(line).Record());
    }
    return records;
}

}  // namespace wincompat
