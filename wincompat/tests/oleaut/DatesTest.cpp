// Calendar time <-> Automation date.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>

namespace {

SYSTEMTIME Time(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0) {
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    return time;
}

TEST(AutomationDate, KnownDays) {
    struct Case {
        SYSTEMTIME time;
        double date;
    } cases[] = {
        {Time(1899, 12, 30), 0.0},
        {Time(1899, 12, 31, 12), 1.5},
        {Time(1900, 3, 1), 61.0},
        {Time(2026, 12, 8, 18, 1, 51), 46364 + (18 * 3600 + 1 * 60 + 51) / 86400.0},
        {Time(1899, 12, 29, 6), -1.25},  // before day zero the fraction still counts forward
        {Time(1800, 1, 1, 18), -36522.75},
        {Time(100, 1, 1), -657434.0},
        {Time(9999, 12, 31, 23, 59, 59), 2958465 + 86399 / 86400.0},
        {Time(2000, 2, 29), 36585.0},
    };
    for (auto& c : cases) {
        double date = -1e9;
        ASSERT_TRUE(SystemTimeToVariantTime(&c.time, &date)) << c.time.wYear;
        EXPECT_NEAR(c.date, date, 1e-9) << c.time.wYear << "-" << c.time.wMonth << "-" << c.time.wDay;
        SYSTEMTIME back{};
        ASSERT_TRUE(VariantTimeToSystemTime(c.date, &back));
        EXPECT_EQ(c.time.wYear, back.wYear);
        EXPECT_EQ(c.time.wMonth, back.wMonth);
        EXPECT_EQ(c.time.wDay, back.wDay);
        EXPECT_EQ(c.time.wHour, back.wHour);
        EXPECT_EQ(c.time.wMinute, back.wMinute);
        EXPECT_EQ(c.time.wSecond, back.wSecond);
        EXPECT_EQ(0, back.wMilliseconds);
    }
}

TEST(AutomationDate, RejectsImpossibleFields) {
    SYSTEMTIME bad[] = {
        Time(2026, 0, 1),        Time(2026, 13, 1),          Time(1980, 13, 1),
        Time(2026, 1, 32),       Time(2026, 2, 65535),       Time(10000, 1, 1),
        Time(100, 1, 0),         Time(9999, 13, 31),         Time(2026, 1, 1, 24),
        Time(2026, 1, 1, 0, 60), Time(2026, 1, 1, 0, 0, 60),
    };
    for (auto& time : bad) {
        double date = 123.0;
        EXPECT_FALSE(SystemTimeToVariantTime(&time, &date))
            << time.wYear << "-" << time.wMonth << "-" << time.wDay << " " << time.wHour << ":" << time.wMinute;
        EXPECT_EQ(123.0, date);
    }
    SYSTEMTIME time{};
    EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &time));
    EXPECT_FALSE(VariantTimeToSystemTime(-657435.0, &time));
    EXPECT_FALSE(VariantTimeToSystemTime(NAN, &time));
    EXPECT_FALSE(VariantTimeToSystemTime(0.0, nullptr));
    EXPECT_FALSE(SystemTimeToVariantTime(nullptr, nullptr));
}

// Fields Windows puts right instead of refusing: a day the month lacks (0 is
// the last day of the month before, one past the end the first of the next),
// and a year below 100, which counts from 1900.
TEST(AutomationDate, DaysTheMonthLacksRollOverAndShortYearsCountFrom1900) {
    struct Case {
        SYSTEMTIME time;
        double date;
    } cases[] = {
        {Time(1980, 1, 0), 29220.0},       // 31 December 1979
        {Time(90, 12, 31), 33238.0},       // 31 December 1990
        {Time(0, 1, 1), 2.0},              // 1 January 1900
        {Time(99, 12, 31), 36525.0},       // 31 December 1999
        {Time(2001, 2, 29), 36951.0},      // 1 March 2001
        {Time(2001, 2, 0), 36922.0},       // 31 January 2001
        {Time(2000, 2, 30), 36586.0},      // 1 March 2000, a leap year
        {Time(2026, 4, 31, 6), 46143.25},  // 1 May 2026, 06:00
        {Time(1899, 12, 0, 6), -30.25},    // 30 November 1899, before day zero
        {Time(9999, 12, 31), 2958465.0},
    };
    for (auto& c : cases) {
        double date = -1e9;
        ASSERT_TRUE(SystemTimeToVariantTime(&c.time, &date))
            << c.time.wYear << "-" << c.time.wMonth << "-" << c.time.wDay;
        EXPECT_NEAR(c.date, date, 1e-9) << c.time.wYear << "-" << c.time.wMonth << "-" << c.time.wDay;
    }
}

TEST(AutomationDate, RoundsToTheNearestSecondAndFillsTheWeekday) {
    SYSTEMTIME time{};
    ASSERT_TRUE(VariantTimeToSystemTime(46364 + 86399.6 / 86400.0, &time));  // rounds into the next day
    EXPECT_EQ(9, time.wDay);
    EXPECT_EQ(0, time.wHour);
    EXPECT_EQ(0, time.wSecond);
    EXPECT_EQ(3, time.wDayOfWeek);  // 9 December 2026 is a Wednesday
    ASSERT_TRUE(VariantTimeToSystemTime(0.0, &time));
    EXPECT_EQ(6, time.wDayOfWeek);  // 30 December 1899 was a Saturday
    SYSTEMTIME withMilliseconds = Time(2026, 12, 8, 18, 1, 51);
    withMilliseconds.wMilliseconds = 999;  // ignored, as Windows does
    withMilliseconds.wDayOfWeek = 5;       // likewise
    double date = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&withMilliseconds, &date));
    EXPECT_NEAR(46364 + (18 * 3600 + 1 * 60 + 51) / 86400.0, date, 1e-9);
}

TEST(AutomationDate, EverySecondOfADayRoundTrips) {
    for (int second = 0; second < 86400; second += 7) {
        SYSTEMTIME time = Time(1850, 6, 15, static_cast<WORD>(second / 3600), static_cast<WORD>(second / 60 % 60),
                               static_cast<WORD>(second % 60));
        double date = 0;
        ASSERT_TRUE(SystemTimeToVariantTime(&time, &date));
        SYSTEMTIME back{};
        ASSERT_TRUE(VariantTimeToSystemTime(date, &back));
        ASSERT_EQ(time.wHour * 3600 + time.wMinute * 60 + time.wSecond,
                  back.wHour * 3600 + back.wMinute * 60 + back.wSecond)
            << second;
        ASSERT_EQ(15, back.wDay);
    }
}

}  // namespace
