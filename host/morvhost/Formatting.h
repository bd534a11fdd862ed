// How morvhost shows what the database holds: aligned text tables for people,
// JSON for scripts, and the address, byte and time texts both use.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace morvhost {

using Bytes = std::vector<uint8_t>;

// A 16-byte address as the database stores it: IPv4-mapped addresses
// (::ffff:a.b.c.d) as dotted IPv4, all others as compressed IPv6 text.
// Anything that is not 16 bytes long is shown as hex.
std::string AddressText(const Bytes& address);
// The number of leading one bits when the mask is contiguous; an IPv4-mapped
// mask counts the bits of its IPv4 part (255.255.255.0 is 24).
std::optional<int> PrefixLength(const Bytes& mask);
// "10.1.2.0/24", or "10.1.2.0/255.0.255.0" for a mask that is not contiguous.
std::string SubnetText(const Bytes& address, const Bytes& mask);

std::string HexText(const Bytes& bytes);
std::string Base64Text(const Bytes& bytes);

// A time argument (2013-03-08, 2013-03-08 13:41, 2013-03-08T13:41:12.5Z) in
// the form the database stores times: "YYYY-MM-DD HH:MM:SS.mmm", UTC.
// Raises HostError for any other text.
std::string StoredTimeText(const std::string& argument);

// A JSON value built up in memory and written out pretty-printed.
class Json {
public:
    Json() = default;  // null
    static Json Bool(bool value);
    static Json Number(long long value);
    static Json Text(std::string value);
    static Json Array();
    static Json Object();

    // Appends to an array.
    Json& Add(Json value);
    // Appends a member to an object (members keep their order).
    Json& Set(std::string name, Json value);

    // Two-space indentation; `indent` is the depth of this value.
    void Write(std::ostream& out, int indent = 0) const;

private:
    enum class Kind { Null, Bool, Number, Text, Array, Object };
    Kind kind_ = Kind::Null;
    bool bool_ = false;
    long long number_ = 0;
    std::string text_;
    std::vector<Json> items_;
    std::vector<std::pair<std::string, Json>> members_;
};

// Columns aligned on the widest cell (counted in characters, not bytes), two
// spaces apart, a header line first; the last column is not padded.
class Table {
public:
    explicit Table(std::vector<std::string> headers);
    void AddRow(std::vector<std::string> cells);
    bool Empty() const { return rows_.empty(); }
    void Write(std::ostream& out) const;

private:
    std::vector<std::string> headers_;
    std::vector<std::vector<std::string>> rows_;
};

// "label   value" lines, the values aligned.
void WriteFields(std::ostream& out, const std::vector<std::pair<std::string, std::string>>& fields);

}  // namespace morvhost
