// Exact decimal numbers for the variant conversions: number texts parsed with a locale's separators
// (and the &H and &O forms), rounding half to even, and the text of decimals and reals.
#include "oleaut/NumberText.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace wincompat {
namespace oleaut {
namespace {

constexpr int kExponentLimit = 100000;  // far beyond every range; keeps sums from overflowing

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Strips leading and trailing zeros, moving the trailing ones into the exponent.
void Normalize(DecimalText& number) {
    size_t first = number.digits.find_first_not_of('0');
    if (first == std::string::npos) {
        number = DecimalText();
        return;
    }
    size_t last = number.digits.find_last_not_of('0');
    number.exponent += static_cast<int>(number.digits.size() - 1 - last);
    number.digits = number.digits.substr(first, last - first + 1);
}

// Adds one to a string of decimal digits.
void Increment(std::string& digits) {
    for (size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return;
        }
        digits[i] = '0';
    }
    digits.insert(digits.begin(), '1');
}

// "&H1F" and "&O17": unsigned integers in hexadecimal or octal.
bool ParseRadixText(const char16_t* text, size_t length, DecimalText& out) {
    if (length < 3 || text[0] != u'&') return false;
    unsigned base = 0;
    if (text[1] == u'H' || text[1] == u'h')
        base = 16;
    else if (text[1] == u'O' || text[1] == u'o')
        base = 8;
    else
        return false;
    unsigned __int128 value = 0;
    for (size_t i = 2; i < length; ++i) {
        char16_t c = text[i];
        unsigned digit;
        if (IsDigit(c))
            digit = static_cast<unsigned>(c - u'0');
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = static_cast<unsigned>(c - u'a' + 10);
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = static_cast<unsigned>(c - u'A' + 10);
        else
            return false;
        if (digit >= base) return false;
        value = value * base + digit;
        if (value >> 100) return false;  // far too long for any target
    }
    out = DecimalTextFromInteger(static_cast<__int128>(value));
    return true;
}

// Reads the digits of the mantissa from text[pos]: integer part with thousands
// separators, then an optional fraction. Returns false if no digit was seen.
bool ReadMantissa(const char16_t* text, size_t length, size_t& pos, const NumberSeparators& separators,
                  DecimalText& out) {
    bool sawDigit = false;
    while (pos < length) {
        if (IsDigit(text[pos])) {
            out.digits.push_back(static_cast<char>(text[pos]));
            sawDigit = true;
        } else if (!(sawDigit && text[pos] == separators.thousands)) {
            break;
        }
        ++pos;
    }
    if (pos < length && text[pos] == separators.decimal) {
        ++pos;
        while (pos < length && IsDigit(text[pos])) {
            out.digits.push_back(static_cast<char>(text[pos++]));
            --out.exponent;
            sawDigit = true;
        }
    }
    return sawDigit;
}

// Reads "e12", "E-3" or "D+2" at text[pos], if present. False for a malformed exponent.
bool ReadExponent(const char16_t* text, size_t length, size_t& pos, int& exponent) {
    if (pos >= length) return true;
    char16_t marker = text[pos];
    if (marker != u'e' && marker != u'E' && marker != u'd' && marker != u'D') return true;
    ++pos;
    bool negative = false;
    if (pos < length && (text[pos] == u'+' || text[pos] == u'-')) negative = text[pos++] == u'-';
    if (pos >= length || !IsDigit(text[pos])) return false;
    long value = 0;
    while (pos < length && IsDigit(text[pos])) {
        if (value < kExponentLimit) value = value * 10 + (text[pos] - u'0');
        ++pos;
    }
    exponent = static_cast<int>(negative ? -value : value);
    return true;
}

}  // namespace

NumberSeparators SeparatorsFor(LCID lcid) {
    switch (LANGIDFROMLCID(lcid) & 0x3FF) {  // primary language
        case LANG_GERMAN:
        case 0x10 /*Italian*/:
        case 0x0A /*Spanish*/:
        case 0x13 /*Dutch*/:
        case 0x16 /*Portuguese*/: return {u',', u'.'};
        case LANG_FRENCH:
        case 0x19 /*Russian*/: return {u',', u'\u00A0'};
        default: return {u'.', u','};
    }
}

bool ParseNumberText(const char16_t* text, size_t length, const NumberSeparators& separators, DecimalText& out) {
    out = DecimalText();
    size_t begin = 0, end = length;
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    if (begin == end) return false;
    if (ParseRadixText(text + begin, end - begin, out)) return true;

    size_t pos = begin;
    bool negative = false, signSeen = false, parenthesised = false;
    if (text[pos] == u'(') {
        parenthesised = true;
        ++pos;
    } else if (text[pos] == u'+' || text[pos] == u'-') {
        negative = text[pos++] == u'-';
        signSeen = true;
    }
    if (pos < end && text[pos] == u'$') ++pos;
    if (!ReadMantissa(text, end, pos, separators, out)) return false;
    int exponent = 0;
    if (!ReadExponent(text, end, pos, exponent)) return false;
    if (parenthesised) {
        if (pos >= end || text[pos] != u')') return false;
        ++pos;
        negative = true;
    } else if (!signSeen && pos < end && (text[pos] == u'+' || text[pos] == u'-')) {
        negative = text[pos++] == u'-';
    }
    if (pos != end) return false;

    out.exponent += exponent;
    out.negative = negative;
    Normalize(out);
    return true;
}

void RoundToExponent(DecimalText& number, int exponent) {
    if (number.IsZero() || number.exponent >= exponent) return;
    // Digits below 10^exponent are dropped; `dropped` counts them from the right.
    long dropped = static_cast<long>(exponent) - number.exponent;
    long size = static_cast<long>(number.digits.size());
    std::string kept = dropped < size ? number.digits.substr(0, static_cast<size_t>(size - dropped)) : std::string();
    bool roundUp = false;
    if (dropped <= size) {
        char first = number.digits[static_cast<size_t>(size - dropped)];
        bool restNonZero =
            number.digits.find_first_not_of('0', static_cast<size_t>(size - dropped + 1)) != std::string::npos;
        bool keptOdd = !kept.empty() && ((kept.back() - '0') & 1);
        roundUp = first > '5' || (first == '5' && (restNonZero || keptOdd));
    }
    if (roundUp) {
        if (kept.empty()) kept = "0";
        Increment(kept);
    }
    number.digits = kept;
    number.exponent = exponent;
    bool negative = number.negative;
    Normalize(number);
    if (!number.IsZero()) number.negative = negative;
}

DecimalText DecimalTextFromInteger(__int128 value) {
    DecimalText number;
    number.negative = value < 0;
    unsigned __int128 magnitude = value < 0 ? -static_cast<unsigned __int128>(value) : value;
    while (magnitude) {
        number.digits.insert(number.digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
        magnitude /= 10;
    }
    Normalize(number);
    if (!number.IsZero()) number.negative = value < 0;
    return number;
}

DecimalText DecimalTextFromDouble(double value, int significantDigits) {
    char buffer[64];
    snprintf(buffer, sizeof buffer, "%.*e", significantDigits - 1, value);
    // buffer is "[-]d.ddde[+-]x"; rebuild it exactly.
    DecimalText number;
    const char* p = buffer;
    if (*p == '-') {
        number.negative = true;
        ++p;
    }
    for (; *p && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9') number.digits.push_back(*p);
    }
    int exponent = *p == 'e' ? atoi(p + 1) : 0;
    number.exponent = exponent - (significantDigits - 1);
    bool negative = number.negative;
    Normalize(number);
    if (!number.IsZero()) number.negative = negative;
    return number;
}

bool IntegerFromDecimalText(DecimalText number, __int128& out) {
    RoundToExponent(number, 0);
    if (number.IsZero()) {
        out = 0;
        return true;
    }
    if (number.digits.size() + static_cast<size_t>(number.exponent) > 38) return false;
    __int128 value = 0;
    for (char digit : number.digits) value = value * 10 + (digit - '0');
    for (int i = 0; i < number.exponent; ++i) value *= 10;
    out = number.negative ? -value : value;
    return true;
}

bool DoubleFromDecimalText(const DecimalText& number, double& out) {
    if (number.IsZero()) {
        out = 0.0;
        return true;
    }
    if (number.exponent + static_cast<long>(number.digits.size()) > 400) return false;
    if (number.exponent + static_cast<long>(number.digits.size()) < -400) {
        out = 0.0;
        return true;
    }
    // No decimal point in this form, so the C library's locale does not matter.
    std::string text = (number.negative ? "-" : "") + number.digits + "e" + std::to_string(number.exponent);
    errno = 0;
    double value = strtod(text.c_str(), nullptr);
    if (errno == ERANGE && std::isinf(value)) return false;
    out = value;
    return true;
}

std::u16string FormatDecimalText(const DecimalText& number, const NumberSeparators& separators) {
    if (number.IsZero()) return u"0";
    std::string digits = number.digits;
    std::u16string text = number.negative ? u"-" : u"";
    if (number.exponent >= 0) {
        digits.append(static_cast<size_t>(number.exponent), '0');
        text.append(digits.begin(), digits.end());
        return text;
    }
    size_t fraction = static_cast<size_t>(-number.exponent);
    if (digits.size() <= fraction) digits.insert(0, fraction - digits.size() + 1, '0');
    size_t point = digits.size() - fraction;
    text.append(digits.begin(), digits.begin() + static_cast<long>(point));
    text.push_back(separators.decimal);
    text.append(digits.begin() + static_cast<long>(point), digits.end());
    return text;
}

std::u16string FormatReal(double value, int significantDigits, const NumberSeparators& separators) {
    if (value == 0.0) return u"0";  // also for negative zero
    char buffer[64];
    snprintf(buffer, sizeof buffer, "%.*G", significantDigits, value);
    std::u16string text;
    // The C library writes its own locale's decimal point; every other character is a digit, sign or 'E'.
    for (const char* p = buffer; *p; ++p) {
        bool plain = (*p >= '0' && *p <= '9') || *p == '-' || *p == '+' || *p == 'E';
        text.push_back(plain ? static_cast<char16_t>(*p) : separators.decimal);
    }
    return text;
}

}  // namespace oleaut
}  // namespace wincompat
