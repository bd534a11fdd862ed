// Day counts of the proleptic Gregorian calendar: the Automation calendar's
// first and last days, the leap-year rules and the eras before year 1.
#include <gtest/gtest.h>

#include "common/CivilDate.h"

namespace {

using wincompat::CivilDate;
using wincompat::CivilFromDays;
using wincompat::DaysFromCivil;
using wincompat::DaysInMonth;
using wincompat::IsLeapYear;

constexpr int64_t kDayZero = -25569;  // 30 December 1899, the Automation date 0

void ExpectDate(int64_t year, int month, int day, const CivilDate& date) {
    EXPECT_EQ(year, date.year);
    EXPECT_EQ(month, date.month);
    EXPECT_EQ(day, date.day);
}

TEST(CivilDate, KnownDays) {
    EXPECT_EQ(0, DaysFromCivil(1970, 1, 1));
    EXPECT_EQ(kDayZero, DaysFromCivil(1899, 12, 30));
    EXPECT_EQ(-1, DaysFromCivil(1969, 12, 31));
    EXPECT_EQ(10957, DaysFromCivil(2000, 1, 1));
    ExpectDate(1899, 12, 30, CivilFromDays(kDayZero));
    ExpectDate(1969, 12, 31, CivilFromDays(-1));
    ExpectDate(2000, 1, 1, CivilFromDays(10957));
}

// The Automation calendar runs from 1 January 100 (-657434) to
// 31 December 9999 (2958465).
TEST(CivilDate, TheAutomationCalendarsLimits) {
    EXPECT_EQ(-657434, DaysFromCivil(100, 1, 1) - kDayZero);
    EXPECT_EQ(2958465, DaysFromCivil(9999, 12, 31) - kDayZero);
    ExpectDate(100, 1, 1, CivilFromDays(-657434 + kDayZero));
    ExpectDate(99, 12, 31, CivilFromDays(-657435 + kDayZero));
    ExpectDate(9999, 12, 31, CivilFromDays(2958465 + kDayZero));
    ExpectDate(10000, 1, 1, CivilFromDays(2958466 + kDayZero));
}

TEST(CivilDate, LeapYears) {
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_TRUE(IsLeapYear(1600));
    EXPECT_TRUE(IsLeapYear(2004));
    EXPECT_TRUE(IsLeapYear(0));
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_FALSE(IsLeapYear(2100));
    EXPECT_FALSE(IsLeapYear(100));  // the calendar's first year: a century, not a leap year
    EXPECT_FALSE(IsLeapYear(2001));
    EXPECT_EQ(29, DaysInMonth(2000, 2));
    EXPECT_EQ(28, DaysInMonth(1900, 2));
    EXPECT_EQ(28, DaysInMonth(100, 2));
    EXPECT_EQ(31, DaysInMonth(9999, 12));
    EXPECT_EQ(30, DaysInMonth(2023, 4));
    // 29 February comes before 1 March only in a leap year.
    EXPECT_EQ(2, DaysFromCivil(2000, 3, 1) - DaysFromCivil(2000, 2, 28));
    EXPECT_EQ(1, DaysFromCivil(1900, 3, 1) - DaysFromCivil(1900, 2, 28));
    EXPECT_EQ(1, DaysFromCivil(2100, 3, 1) - DaysFromCivil(2100, 2, 28));
    ExpectDate(2000, 2, 29, CivilFromDays(DaysFromCivil(2000, 3, 1) - 1));
    ExpectDate(1900, 2, 28, CivilFromDays(DaysFromCivil(1900, 3, 1) - 1));
    EXPECT_EQ(366, DaysFromCivil(2001, 1, 1) - DaysFromCivil(2000, 1, 1));
    EXPECT_EQ(365, DaysFromCivil(1901, 1, 1) - DaysFromCivil(1900, 1, 1));
}

// Every day of the calendar, walked one by one from its first day with the
// month lengths alone: both directions of the count agree with the walk.
TEST(CivilDate, EveryDayFromYear100ToYear9999) {
    int64_t year = 100;
    int month = 1, day = 1;
    for (int64_t count = DaysFromCivil(100, 1, 1); year <= 9999; ++count) {
        if (DaysFromCivil(year, month, day) != count) {
            FAIL() << year << "-" << month << "-" << day << " counts as " << DaysFromCivil(year, month, day) << ", not "
                   << count;
        }
        const CivilDate date = CivilFromDays(count);
        if (date.year != year || date.month != month || date.day != day) {
            FAIL() << count << " reads as " << date.year << "-" << date.month << "-" << date.day << ", not " << year
                   << "-" << month << "-" << day;
        }
        if (++day > DaysInMonth(year, month)) {
            day = 1;
            if (++month > 12) {
                month = 1;
                ++year;
            }
        }
    }
}

// Before year 1 the count still runs on (year 0 is a leap year, as the
// proleptic calendar has it): the eras below zero round towards the past.
TEST(CivilDate, YearsBeforeTheFirst) {
    EXPECT_EQ(-719468, DaysFromCivil(0, 3, 1));
    ExpectDate(0, 2, 29, CivilFromDays(-719469));
    ExpectDate(-1, 12, 31, CivilFromDays(DaysFromCivil(0, 1, 1) - 1));
    EXPECT_EQ(-146097, DaysFromCivil(-400, 3, 1) - DaysFromCivil(0, 3, 1));
    ExpectDate(-400, 3, 1, CivilFromDays(DaysFromCivil(-400, 3, 1)));
}

}  // namespace
