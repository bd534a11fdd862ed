// Calendar time <-> Automation date.
#include <windows.h>

#include "oleaut/Calendar.h"

using wincompat::oleaut::DateParts;

// The day of the week and the milliseconds are ignored, and days the month
// lacks roll over, as Windows does.
extern "C" INT STDAPICALLTYPE SystemTimeToVariantTime(LPSYSTEMTIME lpSystemTime, DOUBLE* pvtime) {
    if (!lpSystemTime || !pvtime) return FALSE;
    DateParts parts;
    parts.year = lpSystemTime->wYear;
    parts.month = lpSystemTime->wMonth;
    parts.day = lpSystemTime->wDay;
    parts.hour = lpSystemTime->wHour;
    parts.minute = lpSystemTime->wMinute;
    parts.second = lpSystemTime->wSecond;
    double date = 0;
    if (!wincompat::oleaut::DateFromCalendarFields(parts, date)) return FALSE;
    *pvtime = date;
    return TRUE;
}

// Rounds to the nearest second; the milliseconds come back as zero.
extern "C" INT STDAPICALLTYPE VariantTimeToSystemTime(DOUBLE vtime, LPSYSTEMTIME lpSystemTime) {
    if (!lpSystemTime) return FALSE;
    DateParts parts;
    if (!wincompat::oleaut::PartsFromDate(vtime, parts)) return FALSE;
    lpSystemTime->wYear = static_cast<WORD>(parts.year);
    lpSystemTime->wMonth = static_cast<WORD>(parts.month);
    lpSystemTime->wDayOfWeek = static_cast<WORD>(parts.dayOfWeek);
    lpSystemTime->wDay = static_cast<WORD>(parts.day);
    lpSystemTime->wHour = static_cast<WORD>(parts.hour);
    lpSystemTime->wMinute = static_cast<WORD>(parts.minute);
    lpSystemTime->wSecond = static_cast<WORD>(parts.second);
    lpSystemTime->wMilliseconds = 0;
    return TRUE;
}
