// Automation dates to and from calendar fields (proleptic Gregorian, years 100 to 9999), and date
// texts read and written in the English (United States) form the variant conversions use.
#include "oleaut/Calendar.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "common/CaseCompare.h"
#include "common/CivilDate.h"

namespace wincompat {
namespace oleaut {
namespace {

constexpr long kDaysFrom1970To1899 = -25569;  // 30 December 1899 counted from 1 January 1970
constexpr int kSecondsPerDay = 86400;

int CurrentYear() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return now.wYear;
}

// ---- Reading date text ----

struct Token {
    enum Kind { Number, Word, Colon, Separator } kind;
    explicit Token(Kind k) : kind(k) {}
    long value = 0;       // Number
    int digits = 0;       // Number: how many digits were written
    std::u16string word;  // Word, lower case
};

bool IsLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool Tokenize(const char16_t* text, size_t length, std::vector<Token>& tokens) {
    size_t pos = 0;
    while (pos < length) {
        char16_t c = text[pos];
        if (IsDigit(c)) {
            Token token(Token::Number);
            while (pos < length && IsDigit(text[pos])) {
                if (token.digits < 9) token.value = token.value * 10 + (text[pos] - u'0');
                ++token.digits;
                ++pos;
            }
            if (token.digits > 4) return false;
            tokens.push_back(token);
        } else if (IsLetter(c)) {
            Token token(Token::Word);
            while (pos < length && IsLetter(text[pos])) token.word.push_back(AsciiLower(text[pos++]));
            tokens.push_back(token);
        } else if (c == u':') {
            tokens.push_back(Token(Token::Colon));
            ++pos;
        } else if (c == u'/' || c == u'-' || c == u'.' || c == u',' || c == u' ' || c == u'\t') {
            // Runs of blanks and separators carry no meaning of their own.
            if (tokens.empty() || tokens.back().kind != Token::Separator) tokens.push_back(Token(Token::Separator));
            ++pos;
        } else {
            return false;
        }
    }
    return true;
}

// 1-12 for an English month name or its three-letter abbreviation, else 0.
int MonthFromWord(const std::u16string& word) {
    static const char16_t* const kMonths[12] = {u"january",   u"february", u"march",    u"april",
                                                u"may",       u"june",     u"july",     u"august",
                                                u"september", u"october",  u"november", u"december"};
    for (int i = 0; i < 12; ++i) {
        std::u16string name = kMonths[i];
        if (word == name || (word.size() == 3 && name.compare(0, 3, word) == 0) || (word == u"sept" && i == 8))
            return i + 1;
    }
    return 0;
}

int FullYear(const Token& token) {
    if (token.digits <= 2) return static_cast<int>(token.value < 30 ? 2000 + token.value : 1900 + token.value);
    return static_cast<int>(token.value);
}

bool IsValidDay(int year, int month, int day) {
    return month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

// Month, day and year from the numbers and month name of the date part, in the
// English (United States) order, month first.
bool ReadDatePart(const std::vector<Token>& numbers, int namedMonth, DateParts& parts) {
    if (namedMonth) {
        parts.month = namedMonth;
        if (numbers.size() == 1) {
            parts.day = static_cast<int>(numbers[0].value);
            parts.year = CurrentYear();
        } else if (numbers.size() == 2) {
            bool yearFirst = numbers[0].digits > 2 || numbers[0].value > 31;
            parts.day = static_cast<int>(numbers[yearFirst ? 1 : 0].value);
            parts.year = FullYear(numbers[yearFirst ? 0 : 1]);
        } else {
            return false;
        }
        return IsValidDay(parts.year, parts.month, parts.day);
    }
    if (numbers.size() == 3 && numbers[0].digits > 2) {  // year first, as ISO writes it
        parts.year = FullYear(numbers[0]);
        parts.month = static_cast<int>(numbers[1].value);
        parts.day = static_cast<int>(numbers[2].value);
        return IsValidDay(parts.year, parts.month, parts.day);
    }
    if (numbers.size() != 2 && numbers.size() != 3) return false;
    parts.year = numbers.size() == 3 ? FullYear(numbers[2]) : CurrentYear();
    int first = static_cast<int>(numbers[0].value), second = static_cast<int>(numbers[1].value);
    if (numbers[0].digits > 2 || numbers[1].digits > 2) return false;
    // Month first; a first number that cannot be a month is taken as the day.
    parts.month = first;
    parts.day = second;
    if (IsValidDay(parts.year, parts.month, parts.day)) return true;
    parts.month = second;
    parts.day = first;
    return IsValidDay(parts.year, parts.month, parts.day);
}

// "18:01:51", "6:01:51 PM", "6 PM", "6:01 a": tokens from `pos` to the end.
bool ReadTimePart(const std::vector<Token>& tokens, size_t pos, DateParts& parts) {
    int fields[3] = {0, 0, 0};
    int count = 0;
    while (pos < tokens.size() && tokens[pos].kind == Token::Number && count < 3) {
        if (tokens[pos].digits > 2) return false;
        fields[count++] = static_cast<int>(tokens[pos++].value);
        if (pos < tokens.size() && tokens[pos].kind == Token::Colon) {
            ++pos;
            if (pos >= tokens.size() || tokens[pos].kind != Token::Number) return false;
        } else {
            break;
        }
    }
    if (pos < tokens.size() && tokens[pos].kind == Token::Separator) {
        // A fraction of a second ("51.250") is read and dropped, as Automation keeps whole seconds.
        if (count == 3 && pos + 1 < tokens.size() && tokens[pos + 1].kind == Token::Number &&
            pos + 2 == tokens.size()) {
            pos += 2;
        } else {
            ++pos;
        }
    }
    int meridiem = 0;  // 1 AM, 2 PM
    if (pos < tokens.size() && tokens[pos].kind == Token::Word) {
        const std::u16string& word = tokens[pos].word;
        if (word == u"am" || word == u"a")
            meridiem = 1;
        else if (word == u"pm" || word == u"p")
            meridiem = 2;
        else
            return false;
        ++pos;
    }
    if (pos != tokens.size() || count == 0 || (count == 1 && !meridiem)) return false;
    int hour = fields[0];
    if (meridiem) {
        if (hour < 1 || hour > 12) return false;
        hour = (hour % 12) + (meridiem == 2 ? 12 : 0);
    }
    parts.hour = hour;
    parts.minute = fields[1];
    parts.second = fields[2];
    return hour <= 23 && parts.minute <= 59 && parts.second <= 59;
}

// Where the time of day begins: the first number followed by a colon or by AM/PM.
size_t FindTimeStart(const std::vector<Token>& tokens) {
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind != Token::Number) continue;
        size_t next = i + 1;
        if (next < tokens.size() && tokens[next].kind == Token::Colon) return i;
        if (next < tokens.size() && tokens[next].kind == Token::Separator) ++next;
        if (next < tokens.size() && tokens[next].kind == Token::Word) {
            const std::u16string& word = tokens[next].word;
            if (word == u"am" || word == u"pm" || word == u"a" || word == u"p") return i;
        }
    }
    return tokens.size();
}

}  // namespace

bool IsDateInRange(double date) { return date > kEarliestDate - 1.0 && date < kDateLimit; }

bool DateFromParts(const DateParts& parts, double& date) {
    if (parts.year < 100 || parts.year > 9999 || !IsValidDay(parts.year, parts.month, parts.day)) return false;
    if (parts.hour < 0 || parts.hour > 23 || parts.minute < 0 || parts.minute > 59 || parts.second < 0 ||
        parts.second > 59)
        return false;
    double days = static_cast<double>(DaysFromCivil(parts.year, parts.month, parts.day) - kDaysFrom1970To1899);
    double time = (parts.hour * 3600 + parts.minute * 60 + parts.second) / static_cast<double>(kSecondsPerDay);
    date = days >= 0 ? days + time : days - time;
    return true;
}

bool DateFromCalendarFields(const DateParts& parts, double& date) {
    if (parts.month < 1 || parts.month > 12 || parts.day < 0 || parts.day > 31) return false;
    if (parts.hour < 0 || parts.hour > 23 || parts.minute < 0 || parts.minute > 59 || parts.second < 0 ||
        parts.second > 59)
        return false;
    const int year = parts.year >= 0 && parts.year < 100 ? 1900 + parts.year : parts.year;
    if (year < 100 || year > 9999) return false;
    // Counting from the first of the month lets a day the month lacks roll over.
    double days = static_cast<double>(DaysFromCivil(year, parts.month, 1) + (parts.day - 1) - kDaysFrom1970To1899);
    if (days < kEarliestDate || days >= kDateLimit) return false;
    double time = (parts.hour * 3600 + parts.minute * 60 + parts.second) / static_cast<double>(kSecondsPerDay);
    date = days >= 0 ? days + time : days - time;
    return true;
}

bool PartsFromDate(double date, DateParts& parts) {
    if (!IsDateInRange(date)) return false;  // also false for NaN
    double wholeDays = std::trunc(date);
    long day = static_cast<long>(wholeDays);
    long seconds = std::lround(std::fabs(date - wholeDays) * kSecondsPerDay);
    if (seconds >= kSecondsPerDay) {  // rounded up to the next midnight
        seconds -= kSecondsPerDay;
        ++day;
    }
    const CivilDate civil = CivilFromDays(day + kDaysFrom1970To1899);
    parts.year = static_cast<int>(civil.year);
    parts.month = civil.month;
    parts.day = civil.day;
    if (parts.year < 100 || parts.year > 9999) return false;
    parts.hour = static_cast<int>(seconds / 3600);
    parts.minute = static_cast<int>(seconds / 60 % 60);
    parts.second = static_cast<int>(seconds % 60);
    parts.dayOfWeek = static_cast<int>(((day + 6) % 7 + 7) % 7);  // 30 December 1899 was a Saturday
    return true;
}

std::u16string FormatDateText(double date) {
    DateParts parts;
    if (!PartsFromDate(date, parts)) return std::u16string();
    char buffer[64];
    std::string text;
    bool dayZero = parts.year == 1899 && parts.month == 12 && parts.day == 30;
    bool midnight = parts.hour == 0 && parts.minute == 0 && parts.second == 0;
    if (!dayZero) {
        snprintf(buffer, sizeof buffer, "%d/%d/%04d", parts.month, parts.day, parts.year);
        text = buffer;
    }
    if (dayZero || !midnight) {
        int hour12 = parts.hour % 12 == 0 ? 12 : parts.hour % 12;
        snprintf(buffer, sizeof buffer, "%s%d:%02d:%02d %s", text.empty() ? "" : " ", hour12, parts.minute,
                 parts.second, parts.hour < 12 ? "AM" : "PM");
        text += buffer;
    }
    return std::u16string(text.begin(), text.end());
}

bool ParseDateText(const char16_t* text, size_t length, double& date) {
    std::vector<Token> tokens;
    if (!Tokenize(text, length, tokens)) return false;
    // ISO's "T" between date and time is one more separator.
    for (Token& token : tokens)
        if (token.kind == Token::Word && token.word == u"t") token = Token(Token::Separator);
    while (!tokens.empty() && tokens.back().kind == Token::Separator) tokens.pop_back();
    size_t start = 0;
    while (start < tokens.size() && tokens[start].kind == Token::Separator) ++start;
    if (start == tokens.size()) return false;

    size_t timeStart = FindTimeStart(tokens);
    DateParts parts;
    std::vector<Token> numbers;
    int namedMonth = 0;
    for (size_t i = start; i < timeStart; ++i) {
        const Token& token = tokens[i];
        if (token.kind == Token::Number) {
            numbers.push_back(token);
        } else if (token.kind == Token::Word) {
            int month = MonthFromWord(token.word);
            if (!month || namedMonth) return false;
            namedMonth = month;
        } else if (token.kind == Token::Colon) {
            return false;
        }
    }
    bool hasDate = !numbers.empty() || namedMonth;
    if (hasDate && !ReadDatePart(numbers, namedMonth, parts)) return false;
    if (timeStart < tokens.size() && !ReadTimePart(tokens, timeStart, parts)) return false;
    if (!hasDate && timeStart == tokens.size()) return false;
    if (!hasDate) {  // a time alone lies on day zero
        date = (parts.hour * 3600 + parts.minute * 60 + parts.second) / static_cast<double>(kSecondsPerDay);
        return true;
    }
    return DateFromParts(parts, date);
}

}  // namespace oleaut
}  // namespace wincompat
