// Address, subnet, hex, Base64 and time texts of stored values, checked time arguments,
// pretty-printed JSON, and text tables aligned by characters rather than bytes.
#include "Formatting.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ostream>

#include "HostError.h"

namespace morvhost {
namespace {

bool IsIpv4Mapped(const Bytes& address) {
    if (address.size() != 16) return false;
    for (size_t i = 0; i < 10; ++i)
        if (address[i] != 0) return false;
    return address[10] == 0xFF && address[11] == 0xFF;
}

// Characters, not bytes: UTF-8 continuation bytes take no column.
size_t DisplayWidth(const std::string& text) {
    return static_cast<size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Line breaks and tabs inside a value would break the columns.
std::string CellText(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return text;
}

void WriteJsonText(std::ostream& out, const std::string& text) {
    out << '"';
    for (unsigned char c : text) {
        switch (c) {
            case '"': out << "\\\""; break;
            case '\\': out << "\\\\"; break;
            case '\n': out << "\\n"; break;
            case '\r': out << "\\r"; break;
            case '\t': out << "\\t"; break;
            case '\b': out << "\\b"; break;
            case '\f': out << "\\f"; break;
            default:
                if (c < 0x20) {
                    char escape[8];
                    snprintf(escape, sizeof escape, "\\u%04X", c);
                    out << escape;
                } else {
                    out << static_cast<char>(c);
                }
        }
    }
    out << '"';
}

void WriteIndent(std::ostream& out, int depth) {
    for (int i = 0; i < depth; ++i) out << "  ";
}

// Reads exactly `digits` decimal digits at `pos`.
bool ReadNumber(const std::string& text, size_t& pos, size_t digits, int& value) {
    if (pos + digits > text.size()) return false;
    value = 0;
    for (size_t i = 0; i < digits; ++i) {
        char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += digits;
    return true;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

std::string AddressText(const Bytes& address) {
    if (address.size() != 16) return HexText(address);
    if (IsIpv4Mapped(address)) {
        char text[16];
        snprintf(text, sizeof text, "%u.%u.%u.%u", address[12], address[13], address[14], address[15]);
        return text;
    }
    char text[INET6_ADDRSTRLEN];
    if (!inet_ntop(AF_INET6, address.data(), text, sizeof text)) return HexText(address);
    return text;
}

std::optional<int> PrefixLength(const Bytes& mask) {
    if (mask.size() != 16) return std::nullopt;
    size_t first = IsIpv4Mapped(mask) ? 12 : 0;
    int bits = 0;
    bool ended = false;
    for (size_t i = first; i < mask.size(); ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            bool one = (mask[i] >> bit) & 1;
            if (one && ended) return std::nullopt;
            if (one)
                ++bits;
            else
                ended = true;
        }
    }
    return bits;
}

std::string SubnetText(const Bytes& address, const Bytes& mask) {
    std::optional<int> prefix = PrefixLength(mask);
    return AddressText(address) + "/" + (prefix ? std::to_string(*prefix) : AddressText(mask));
}

std::string HexText(const Bytes& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

std::string Base64Text(const Bytes& bytes) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<uint32_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) group |= static_cast<uint32_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) group |= bytes[i + 2];
        text += kAlphabet[(group >> 18) & 63];
        text += kAlphabet[(group >> 12) & 63];
        text += i + 1 < bytes.size() ? kAlphabet[(group >> 6) & 63] : '=';
        text += i + 2 < bytes.size() ? kAlphabet[group & 63] : '=';
    }
    return text;
}

std::string StoredTimeText(const std::string& argument) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    size_t pos = 0;
    auto expect = [&](char c) {
        if (pos >= argument.size() || argument[pos] != c) return false;
        ++pos;
        return true;
    };
    bool valid = ReadNumber(argument, pos, 4, year) && expect('-') && ReadNumber(argument, pos, 2, month) &&
                 expect('-') && ReadNumber(argument, pos, 2, day);
    if (valid && pos < argument.size() && (argument[pos] == 'T' || argument[pos] == ' ')) {
        ++pos;
        valid = ReadNumber(argument, pos, 2, hour) && expect(':') && ReadNumber(argument, pos, 2, minute);
        if (valid && pos < argument.size() && argument[pos] == ':') {
            ++pos;
            valid = ReadNumber(argument, pos, 2, second);
            if (valid && pos < argument.size() && argument[pos] == '.') {
                ++pos;
                size_t digits = 0;
                int scale = 100;
                while (pos < argument.size() && argument[pos] >= '0' && argument[pos] <= '9') {
                    if (digits < 3) millisecond += (argument[pos] - '0') * scale;
                    scale /= 10;
                    ++digits;
                    ++pos;
                }
                valid = digits > 0;
            }
        }
    }
    if (valid && pos < argument.size() && argument[pos] == 'Z') ++pos;
    valid = valid && pos == argument.size() && month >= 1 && month <= 12 && day >= 1 &&
            day <= DaysInMonth(year, month) && hour < 24 && minute < 60 && second < 60;
    if (!valid)
        throw HostError("not a time: '" + argument + "' (write it as YYYY-MM-DD, YYYY-MM-DD HH:MM[:SS[.mmm]], UTC)");
    char text[96];  // room for every field at its widest int, so nothing is ever cut
    snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", year, month, day, hour, minute, second,
             millisecond);
    return text;
}

Json Json::Bool(bool value) {
    Json json;
    json.kind_ = Kind::Bool;
    json.bool_ = value;
    return json;
}

Json Json::Number(long long value) {
    Json json;
    json.kind_ = Kind::Number;
    json.number_ = value;
    return json;
}

Json Json::Text(std::string value) {
    Json json;
    json.kind_ = Kind::Text;
    json.text_ = std::move(value);
    return json;
}

Json Json::Array() {
    Json json;
    json.kind_ = Kind::Array;
    return json;
}

Json Json::Object() {
    Json json;
    json.kind_ = Kind::Object;
    return json;
}

Json& Json::Add(Json value) {
    items_.push_back(std::move(value));
    return *this;
}

Json& Json::Set(std::string name, Json value) {
    members_.emplace_back(std::move(name), std::move(value));
    return *this;
}

void Json::Write(std::ostream& out, int indent) const {
    switch (kind_) {
        case Kind::Null: out << "null"; break;
        case Kind::Bool: out << (bool_ ? "true" : "false"); break;
        case Kind::Number: out << number_; break;
        case Kind::Text: WriteJsonText(out, text_); break;
        case Kind::Array:
            if (items_.empty()) {
                out << "[]";
                break;
            }
            out << "[\n";
            for (size_t i = 0; i < items_.size(); ++i) {
                WriteIndent(out, indent + 1);
                items_[i].Write(out, indent + 1);
                out << (i + 1 < items_.size() ? ",\n" : "\n");
            }
            WriteIndent(out, indent);
            out << "]";
            break;
        case Kind::Object:
            if (members_.empty()) {
                out << "{}";
                break;
            }
            out << "{\n";
            for (size_t i = 0; i < members_.size(); ++i) {
                WriteIndent(out, indent + 1);
                WriteJsonText(out, members_[i].first);
                out << ": ";
                members_[i].second.Write(out, indent + 1);
                out << (i + 1 < members_.size() ? ",\n" : "\n");
            }
            WriteIndent(out, indent);
            out << "}";
            break;
    }
}

Table::Table(std::vector<std::string> headers) : headers_(std::move(headers)) {}

void Table::AddRow(std::vector<std::string> cells) {
    cells.resize(headers_.size());
    for (std::string& cell : cells) cell = CellText(std::move(cell));
    rows_.push_back(std::move(cells));
}

void Table::Write(std::ostream& out) const {
    std::vector<size_t> widths(headers_.size());
    for (size_t c = 0; c < headers_.size(); ++c) {
        widths[c] = DisplayWidth(headers_[c]);
        for (const auto& row : rows_) widths[c] = std::max(widths[c], DisplayWidth(row[c]));
    }
    auto writeLine = [&](const std::vector<std::string>& cells) {
        std::string line;
        for (size_t c = 0; c < cells.size(); ++c) {
            line += cells[c];
            if (c + 1 < cells.size()) line.append(widths[c] - DisplayWidth(cells[c]) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << "\n";
    };
    writeLine(headers_);
    for (const auto& row : rows_) writeLine(row);
}

void WriteFields(std::ostream& out, const std::vector<std::pair<std::string, std::string>>& fields) {
    size_t width = 0;
    for (const auto& field : fields) width = std::max(width, DisplayWidth(field.first));
    for (const auto& [label, value] : fields) {
        std::string line = label + std::string(width - DisplayWidth(label) + 2, ' ') + CellText(value);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << "\n";
    }
}

}  // namespace morvhost
