// The current time from the system clock.
#include <windows.h>

#include <time.h>

namespace {
// FILETIME counts 100-nanosecond intervals since 1 January 1601 (UTC).
constexpr uint64_t kSecondsFrom1601To1970 = 11644473600ull;

SYSTEMTIME FromBrokenDown(const tm& parts, long nanoseconds) {
    SYSTEMTIME result{};
    result.wYear = static_cast<WORD>(parts.tm_year + 1900);
    result.wMonth = static_cast<WORD>(parts.tm_mon + 1);
    result.wDayOfWeek = static_cast<WORD>(parts.tm_wday);
    result.wDay = static_cast<WORD>(parts.tm_mday);
    result.wHour = static_cast<WORD>(parts.tm_hour);
    result.wMinute = static_cast<WORD>(parts.tm_min);
    result.wSecond = static_cast<WORD>(parts.tm_sec > 59 ? 59 : parts.tm_sec);  // no leap seconds in SYSTEMTIME
    result.wMilliseconds = static_cast<WORD>(nanoseconds / 1000000);
    return result;
}

timespec Now() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now;
}
}  // namespace

extern "C" void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) {
    if (!lpSystemTime) return;
    timespec now = Now();
    tm parts{};
    gmtime_r(&now.tv_sec, &parts);
    *lpSystemTime = FromBrokenDown(parts, now.tv_nsec);
}

extern "C" void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    if (!lpSystemTime) return;
    timespec now = Now();
    tm parts{};
    localtime_r(&now.tv_sec, &parts);
    *lpSystemTime = FromBrokenDown(parts, now.tv_nsec);
}

extern "C" void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
    if (!lpSystemTimeAsFileTime) return;
    timespec now = Now();
    uint64_t ticks = (static_cast<uint64_t>(now.tv_sec) + kSecondsFrom1601To1970) * 10000000ull +
                     static_cast<uint64_t>(now.tv_nsec) / 100;
    lpSystemTimeAsFileTime->dwLowDateTime = static_cast<DWORD>(ticks);
    lpSystemTimeAsFileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}
