// The system clock in its three forms.
#include <windows.h>

#include <gtest/gtest.h>

#include <time.h>

namespace {

TEST(SystemClock, UtcSystemTimeMatchesTheFileTime) {
    SYSTEMTIME now{};
    FILETIME fileTime{};
    GetSystemTime(&now);
    GetSystemTimeAsFileTime(&fileTime);
    ULONGLONG ticks = (static_cast<ULONGLONG>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
    // FILETIME counts 100 ns from 1601; Unix seconds start 11644473600 s later.
    time_t seconds = static_cast<time_t>(ticks / 10000000ull - 11644473600ull);
    tm utc{};
    gmtime_r(&seconds, &utc);
    EXPECT_EQ(utc.tm_year + 1900, now.wYear);
    EXPECT_EQ(utc.tm_mon + 1, now.wMonth);
    EXPECT_EQ(utc.tm_wday, now.wDayOfWeek);
    EXPECT_LE(now.wMilliseconds, 999);
    double date = 0;
    EXPECT_TRUE(SystemTimeToVariantTime(&now, &date));  // the current time is a valid automation date
    EXPECT_GT(date, 46000.0);
}

TEST(SystemClock, LocalTimeFollowsTheTimeZone) {
    SYSTEMTIME utc{}, local{};
    GetSystemTime(&utc);
    GetLocalTime(&local);
    time_t now = time(nullptr);
    tm expected{};
    localtime_r(&now, &expected);
    EXPECT_EQ(expected.tm_year + 1900, local.wYear);
    EXPECT_EQ(expected.tm_hour, local.wHour);
    GetSystemTime(nullptr);  // ignored rather than a crash
    GetLocalTime(nullptr);
    GetSystemTimeAsFileTime(nullptr);
}

}  // namespace
