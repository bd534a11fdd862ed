// Address texts (dotted IPv4, eight hex groups, any IPv6 form) to the 16-byte column value, and
// event times to automation dates, read the way the sensors' scanf formats read them.
#include "model/ValueConversions.h"

#include <cstdint>
#include <cstring>
#include <memory>

#include "comsupport/ComError.h"
#include "model/VariantValues.h"

namespace ZELKXML {
namespace {

constexpr size_t kAddressBytes = 16;

// Reads a text the way the C runtime's scanf reads it for the few conversions
// the sensor formats use: each numeric conversion skips leading white space and
// takes an optional sign; literals must match exactly.
class TextScanner {
public:
    TextScanner(const OLECHAR* text, size_t length) : text_(text), end_(text + length) {}

    bool Literal(OLECHAR expected) {
        if (text_ == end_ || *text_ != expected) return false;
        ++text_;
        return true;
    }

    // %d: decimal; the value wraps at 32 bits as the runtime's overflow does in
    // practice, which keeps the low bits that the callers use exact.
    bool Decimal(uint32_t& value) { return Number(10, SIZE_MAX, value); }
    // %x: hexadecimal with an optional 0x prefix.
    bool Hexadecimal(uint32_t& value) { return Number(16, SIZE_MAX, value); }
    // %<width>hu: at most `width` characters (sign included), value wraps at 16 bits.
    bool UnsignedShort(size_t width, uint16_t& value) {
        uint32_t wide = 0;
        if (!Number(10, width, wide)) return false;
        value = static_cast<uint16_t>(wide);
        return true;
    }

private:
    static bool IsSpace(OLECHAR c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }
    static int DigitValue(OLECHAR c, unsigned base) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        return digit >= 0 && static_cast<unsigned>(digit) < base ? digit : -1;
    }

    bool Number(unsigned base, size_t width, uint32_t& value) {
        while (text_ != end_ && IsSpace(*text_)) ++text_;
        const OLECHAR* p = text_;
        const OLECHAR* limit = (static_cast<size_t>(end_ - p) > width) ? p + width : end_;
        bool negative = false;
        if (p != limit && (*p == '+' || *p == '-')) negative = (*p++ == '-');
        if (base == 16 && limit - p >= 3 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2], base) >= 0)
            p += 2;
        const OLECHAR* digits = p;
        uint32_t accumulated = 0;
        for (int digit; p != limit && (digit = DigitValue(*p, base)) >= 0; ++p)
            accumulated = accumulated * base + static_cast<uint32_t>(digit);
        if (p == digits) return false;
        value = negative ? 0u - accumulated : accumulated;
        text_ = p;
        return true;
    }

    const OLECHAR* text_;
    const OLECHAR* end_;
};

bool ScanDottedIPv4(const TextView& text, BYTE bytes[kAddressBytes]) {
    TextScanner scan(text.text, text.length);
    uint32_t parts[4];
    if (!(scan.Decimal(parts[0]) && scan.Literal('.') && scan.Decimal(parts[1]) && scan.Literal('.') &&
          scan.Decimal(parts[2]) && scan.Literal('.') && scan.Decimal(parts[3])))
        return false;
    bytes[10] = bytes[11] = 0xFF;
    for (int i = 0; i < 4; ++i) bytes[12 + i] = static_cast<BYTE>(parts[i] & 0xFF);
    return true;
}

bool ScanEightGroups(const TextView& text, BYTE bytes[kAddressBytes]) {
    TextScanner scan(text.text, text.length);
    uint32_t groups[8];
    for (int k = 0; k < 8; ++k) {
        if (k > 0 && !scan.Literal(':')) return false;
        if (!scan.Hexadecimal(groups[k])) return false;
    }
    for (int k = 0; k < 8; ++k) {
        bytes[2 * k] = static_cast<BYTE>((groups[k] >> 8) & 0xFF);
        bytes[2 * k + 1] = static_cast<BYTE>(groups[k] & 0xFF);
    }
    return true;
}

bool IsHexDigit(OLECHAR c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsDecimalDigit(OLECHAR c) { return c >= '0' && c <= '9'; }

// A dotted IPv4 tail of an IPv6 text: exactly four numbers 0..255 of one to three digits.
bool ParseDottedTail(const OLECHAR* p, const OLECHAR* end, uint16_t& high, uint16_t& low) {
    unsigned parts[4];
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (p == end || *p != '.') return false;
            ++p;
        }
        unsigned value = 0;
        int digits = 0;
        for (; p != end && IsDecimalDigit(*p); ++p, ++digits) {
            if (digits == 3) return false;
            value = value * 10 + static_cast<unsigned>(*p - '0');
        }
        if (digits == 0 || value > 255) return false;
        parts[i] = value;
    }
    if (p != end) return false;
    high = static_cast<uint16_t>(parts[0] << 8 | parts[1]);
    low = static_cast<uint16_t>(parts[2] << 8 | parts[3]);
    return true;
}

// Any other valid IPv6 text: at most one "::" standing for one or more zero
// groups, groups of one to four hexadecimal digits, optionally ending in a
// dotted IPv4 address. The address is the run of address characters after
// leading white space; what follows it (a zone "%eth0", a prefix "/64") is ignored.
bool ParseIPv6Text(const TextView& text, BYTE bytes[kAddressBytes]) {
    const OLECHAR* p = text.text;
    const OLECHAR* textEnd = text.text + text.length;
    while (p != textEnd && (*p == ' ' || (*p >= 0x09 && *p <= 0x0D))) ++p;
    const OLECHAR* end = p;
    while (end != textEnd && (IsHexDigit(*end) || *end == ':' || *end == '.')) ++end;
    if (p == end) return false;

    uint16_t head[8], tail[8];
    int headCount = 0, tailCount = 0;
    bool compressed = false;
    auto push = [&](uint16_t group) {
        if (headCount + tailCount >= 8) return false;
        if (compressed)
            tail[tailCount++] = group;
        else
            head[headCount++] = group;
        return true;
    };

    if (end - p >= 2 && p[0] == ':' && p[1] == ':') {
        compressed = true;
        p += 2;
    } else if (*p == ':') {
        return false;
    }
    while (p != end) {
        const OLECHAR* token = p;
        while (p != end && IsHexDigit(*p)) ++p;
        if (p != end && *p == '.') {
            uint16_t high, low;
            bool allDecimal = true;
            for (const OLECHAR* c = token; c != p; ++c) allDecimal = allDecimal && IsDecimalDigit(*c);
            if (!allDecimal || !ParseDottedTail(token, end, high, low)) return false;
            if (!push(high) || !push(low)) return false;
            p = end;
            break;
        }
        const ptrdiff_t digits = p - token;
        if (digits < 1 || digits > 4) return false;
        uint16_t group = 0;
        for (const OLECHAR* c = token; c != p; ++c) {
            const unsigned d = IsDecimalDigit(*c) ? unsigned(*c - '0') : unsigned((*c | 0x20) - 'a' + 10);
            group = static_cast<uint16_t>(group << 4 | d);
        }
        if (!push(group)) return false;
        if (p == end) break;
        ++p;  // the ':' that ends the group
        if (p != end && *p == ':') {
            if (compressed) return false;
            compressed = true;
            ++p;
        } else if (p == end) {
            return false;  // a single trailing colon
        }
    }
    const int groups = headCount + tailCount;
    if (compressed ? groups > 7 : groups != 8) return false;

    uint16_t all[8] = {};
    for (int i = 0; i < headCount; ++i) all[i] = head[i];
    for (int i = 0; i < tailCount; ++i) all[8 - tailCount + i] = tail[i];
    for (int k = 0; k < 8; ++k) {
        bytes[2 * k] = static_cast<BYTE>(all[k] >> 8);
        bytes[2 * k + 1] = static_cast<BYTE>(all[k] & 0xFF);
    }
    return true;
}

struct SafeArrayDestroyer {
    void operator()(SAFEARRAY* array) const noexcept { SafeArrayDestroy(array); }
};

comsupport::Variant BytesToVariant(const BYTE bytes[kAddressBytes]) {
    std::unique_ptr<SAFEARRAY, SafeArrayDestroyer> array(SafeArrayCreateVector(VT_UI1, 0, kAddressBytes));
    if (!array) comsupport::ThrowComError(E_OUTOFMEMORY);
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array.get(), &data)) || !data) return comsupport::Variant::Null();
    std::memcpy(data, bytes, kAddressBytes);
    SafeArrayUnaccessData(array.get());
    VARIANT raw;
    VariantInit(&raw);
    raw.vt = VT_ARRAY | VT_UI1;
    raw.parray = array.release();
    return comsupport::Variant::Adopt(raw);
}

}  // namespace

comsupport::Variant AddressTextToBytes(const VARIANT& address) {
    if (address.vt != VT_BSTR) return comsupport::Variant(address);
    const TextView text = TextUpToNul(address.bstrVal);
    BYTE bytes[kAddressBytes] = {};
    if (!ScanDottedIPv4(text, bytes) && !ScanEightGroups(text, bytes) && !ParseIPv6Text(text, bytes))
        std::memset(bytes, 0, sizeof bytes);
    return BytesToVariant(bytes);
}

comsupport::Variant TimeTextToDate(const OLECHAR* text) {
    size_t length = 0;
    if (text)
        while (text[length]) ++length;
    TextScanner scan(text ? text : OLESTR(""), length);

    // "%4hu-%2hu-%2huT%2hu:%2hu:%2hu.%3hu": the fields in order, stopping at
    // the first one that does not match.
    struct Field {
        OLECHAR before;
        size_t width;
    };
    static const Field kFields[] = {{0, 4}, {'-', 2}, {'-', 2}, {'T', 2}, {':', 2}, {':', 2}, {'.', 3}};
    uint16_t values[7] = {};
    int read = 0;
    for (const Field& field : kFields) {
        if (field.before && !scan.Literal(field.before)) break;
        if (!scan.UnsignedShort(field.width, values[read])) break;
        ++read;
    }
    if (read < 6) return comsupport::Variant();

    SYSTEMTIME calendar = {};
    calendar.wYear = values[0];
    calendar.wMonth = values[1];
    calendar.wDayOfWeek = 0;
    calendar.wDay = values[2];
    calendar.wHour = values[3];
    calendar.wMinute = values[4];
    calendar.wSecond = values[5];
    calendar.wMilliseconds = read > 6 ? values[6] : 0;
    DOUBLE date = 0.0;
    if (!SystemTimeToVariantTime(&calendar, &date)) date = 0.0;
    return comsupport::Variant::FromDate(date);
}

}  // namespace ZELKXML
