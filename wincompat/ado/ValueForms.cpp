// The text forms of values: dates as the database stores them, GUIDs as SQL
// Server writes them, and numbers read from and written to text.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "ado/ValueRules.h"
#include "common/Trim.h"
#include "ado/Values.h"
#include "common/CaseCompare.h"
#include "common/CivilDate.h"

namespace wincompat::ado {
namespace detail {

bool ParseInteger(std::string_view text, int64_t& value) {
    text = TrimSpace(text);
    if (text.empty()) return false;
    std::string copy(text);
    char* end = nullptr;
    errno = 0;
    long long parsed = std::strtoll(copy.c_str(), &end, 10);
    if (errno != 0 || *end != 0) return false;
    value = parsed;
    return true;
}

std::string FormatReal(double value) {
    char buffer[40];
    snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

}  // namespace detail

namespace {

const int64_t kOleEpochDays = DaysFromCivil(1899, 12, 30);
constexpr int64_t kMsPerDay = 86400000;

bool ParseDigits(std::string_view text, size_t& pos, size_t count, int& value) {
    if (pos + count > text.size()) return false;
    value = 0;
    for (size_t i = 0; i < count; ++i) {
        char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += count;
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool DateToText(DATE date, std::string& text) {
    if (!std::isfinite(date) || date < -657434.0 || date >= 2958466.0) return false;  // years 100 to 9999
    double whole = std::trunc(date);
    int64_t days = static_cast<int64_t>(whole);
    int64_t ms = std::llround(std::fabs(date - whole) * kMsPerDay);
    if (ms >= kMsPerDay) {  // rounding reached midnight: the next day
        ms = 0;
        days += 1;
    }
    const CivilDate civil = CivilFromDays(days + kOleEpochDays);
    const int64_t year = civil.year;
    const int month = civil.month, day = civil.day;
    // "YYYY-MM-DD HH:MM:SS.mmm", written digit by digit: this runs for every
    // date a command binds.
    char buffer[23];
    auto put = [&buffer](size_t at, int64_t value, int digits) {
        for (int d = digits - 1; d >= 0; --d, value /= 10) buffer[at + static_cast<size_t>(d)] = char('0' + value % 10);
    };
    put(0, year, 4);
    buffer[4] = '-';
    put(5, month, 2);
    buffer[7] = '-';
    put(8, day, 2);
    buffer[10] = ' ';
    put(11, ms / 3600000, 2);
    buffer[13] = ':';
    put(14, ms / 60000 % 60, 2);
    buffer[16] = ':';
    put(17, ms / 1000 % 60, 2);
    buffer[19] = '.';
    put(20, ms % 1000, 3);
    text.assign(buffer, sizeof buffer);
    return true;
}

bool TextToDate(std::string_view text, DATE& date) {
    text = TrimSpace(text);
    size_t pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    double fraction = 0;
    if (!ParseDigits(text, pos, 4, year) || pos >= text.size() || text[pos++] != '-' ||
        !ParseDigits(text, pos, 2, month) || pos >= text.size() || text[pos++] != '-' ||
        !ParseDigits(text, pos, 2, day))
        return false;
    if (pos < text.size() && (text[pos] == 'T' || text[pos] == ' ')) {
        ++pos;
        if (!ParseDigits(text, pos, 2, hour) || pos >= text.size() || text[pos++] != ':' ||
            !ParseDigits(text, pos, 2, minute))
            return false;
        if (pos < text.size() && text[pos] == ':') {
            ++pos;
            if (!ParseDigits(text, pos, 2, second)) return false;
            if (pos < text.size() && text[pos] == '.') {
                ++pos;
                double scale = 0.1;
                size_t digits = 0;
                while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
                    fraction += (text[pos++] - '0') * scale;
                    scale /= 10;
                    ++digits;
                }
                if (digits == 0) return false;
            }
        }
    }
    if (pos < text.size() && text[pos] == 'Z') ++pos;
    if (pos != text.size()) return false;
    if (year < 100 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return false;
    int64_t days = DaysFromCivil(year, month, day) - kOleEpochDays;
    double ms = std::round((hour * 3600.0 + minute * 60.0 + second + fraction) * 1000.0);
    double timeOfDay = ms / static_cast<double>(kMsPerDay);
    // Before 1899-12-30 the time of day still counts forward from midnight.
    date = days >= 0 ? static_cast<double>(days) + timeOfDay : static_cast<double>(days) - timeOfDay;
    return true;
}

bool CanonicalGuidText(std::string_view text, std::string& canonical) {
    if (text.size() == 38) {
        if (text.front() != '{' || text.back() != '}') return false;
        text = text.substr(1, 36);
    }
    if (text.size() != 36) return false;
    std::string out = "{";
    for (size_t i = 0; i < 36; ++i) {
        char c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-') return false;
        } else if (HexDigit(c) < 0) {
            return false;
        }
        out += AsciiUpper(c);
    }
    canonical = out + "}";
    return true;
}

}  // namespace wincompat::ado
