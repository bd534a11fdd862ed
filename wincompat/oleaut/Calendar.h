// Automation dates (DATE): days since 30 December 1899, the fraction being the
// time of day. Before that day the day count is negative while the fraction
// still counts forward from midnight (-1.25 is 29 December 1899, 06:00).
#pragma once
#include <windows.h>

#include <string>

namespace wincompat {
namespace oleaut {

constexpr double kEarliestDate = -657434.0;  // 1 January 100
constexpr double kDateLimit = 2958466.0;     // 1 January 10000, just beyond the last date

struct DateParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
    int dayOfWeek = 6;  // Sunday is 0
};

// False if a field is out of range (month 1-12, the month's days, year 100-9999,
// hour 0-23, minute and second 0-59).
bool DateFromParts(const DateParts& parts, double& date);
// As SystemTimeToVariantTime reads calendar fields: a day from 0 to 31 that
// the month does not have rolls over into the neighbouring month (day 0 is
// the last day of the month before), a year below 100 is 1900 plus the year;
// the month and the time of day must be in range, and so must the result.
bool DateFromCalendarFields(const DateParts& parts, double& date);
// Rounds to the nearest second. False for NaN or a date outside years 100-9999.
bool PartsFromDate(double date, DateParts& parts);
bool IsDateInRange(double date);

// The English (United States) forms: "12/8/2026 6:01:51 PM"; only the date when the
// time is midnight, only the time on day zero.
std::u16string FormatDateText(double date);
// Reads the usual English (United States) forms and ISO "2026-12-08 18:01:51".
bool ParseDateText(const char16_t* text, size_t length, double& date);

}  // namespace oleaut
}  // namespace wincompat
