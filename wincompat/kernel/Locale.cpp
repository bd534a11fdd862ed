// Locale identifiers. This platform's system and user locale is English (United
// States); each thread starts with it and may switch to another known locale.
#include <windows.h>

namespace {
constexpr LCID kEnglishUnitedStates = 0x0409;
thread_local LCID tls_thread_locale = kEnglishUnitedStates;

// Locales a thread may select: the specific cultures the plug-ins' hosts run
// under, and the invariant locale.
bool IsKnownLocale(LCID lcid) {
    switch (lcid) {
        case 0x0007F:  // invariant
        case 0x00409:
        case 0x00809:
        case 0x00C09:
        case 0x01009:  // English: US, UK, Australia, Canada
        case 0x00407:
        case 0x00807:
        case 0x00C07:  // German: Germany, Switzerland, Austria
        case 0x0040C:
        case 0x0080C:
        case 0x0100C:  // French: France, Belgium, Switzerland
        case 0x00410:
        case 0x00C0A:
        case 0x00413:
        case 0x00416:  // Italian, Spanish, Dutch, Portuguese (Brazil)
        case 0x00411:
        case 0x00412:
        case 0x00804:
        case 0x00419:  // Japanese, Korean, Chinese (PRC), Russian
            return true;
        default: return false;
    }
}

// The default-locale aliases name this platform's default.
LCID Resolve(LCID lcid) {
    if (lcid == LOCALE_SYSTEM_DEFAULT || lcid == LOCALE_USER_DEFAULT || lcid == LOCALE_NEUTRAL)
        return kEnglishUnitedStates;
    return lcid;
}
}  // namespace

extern "C" LCID WINAPI GetSystemDefaultLCID(void) { return kEnglishUnitedStates; }
extern "C" LCID WINAPI GetUserDefaultLCID(void) { return kEnglishUnitedStates; }
extern "C" LCID WINAPI GetThreadLocale(void) { return tls_thread_locale; }

extern "C" BOOL WINAPI SetThreadLocale(LCID Locale) {
    LCID resolved = Resolve(Locale);
    if (!IsKnownLocale(resolved)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    tls_thread_locale = resolved;
    return TRUE;
}
