// TEMPORARY: entry points whose real implementations are being written.
// Each one is removed from this file when its implementation lands.
#include <windows.h>

extern "C" HRESULT STDAPICALLTYPE VariantChangeType(VARIANTARG*, VARIANTARG*, USHORT, VARTYPE) { return E_NOTIMPL; }
extern "C" HRESULT STDAPICALLTYPE VariantChangeTypeEx(VARIANTARG*, VARIANTARG*, LCID, USHORT, VARTYPE) { return E_NOTIMPL; }
extern "C" INT STDAPICALLTYPE SystemTimeToVariantTime(LPSYSTEMTIME, DOUBLE*) { return FALSE; }
extern "C" INT STDAPICALLTYPE VariantTimeToSystemTime(DOUBLE, LPSYSTEMTIME) { return FALSE; }
extern "C" void WINAPI GetSystemTime(LPSYSTEMTIME) {}
extern "C" void WINAPI GetLocalTime(LPSYSTEMTIME) {}
extern "C" void WINAPI GetSystemTimeAsFileTime(LPFILETIME) {}
extern "C" DWORD WINAPI FormatMessageW(DWORD, LPCVOID, DWORD, DWORD, LPWSTR, DWORD, va_list*) { return 0; }
extern "C" HRESULT STDAPICALLTYPE CoCreateGuid(GUID*) { return E_NOTIMPL; }
