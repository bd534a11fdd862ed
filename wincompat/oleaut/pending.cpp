// TEMPORARY: entry points whose real implementations are being written.
// Each one is removed from this file when its implementation lands.
#include <windows.h>

#include "wincompat/debugoutput.h"

extern "C" HRESULT STDAPICALLTYPE VariantChangeType(VARIANTARG*, const VARIANTARG*, USHORT, VARTYPE) { return E_NOTIMPL; }
extern "C" HRESULT STDAPICALLTYPE VariantChangeTypeEx(VARIANTARG*, const VARIANTARG*, LCID, USHORT, VARTYPE) { return E_NOTIMPL; }
extern "C" INT STDAPICALLTYPE SystemTimeToVariantTime(LPSYSTEMTIME, DOUBLE*) { return FALSE; }
extern "C" INT STDAPICALLTYPE VariantTimeToSystemTime(DOUBLE, LPSYSTEMTIME) { return FALSE; }
extern "C" HRESULT STDAPICALLTYPE SetErrorInfo(ULONG, IErrorInfo*) { return S_OK; }
extern "C" HRESULT STDAPICALLTYPE GetErrorInfo(ULONG, IErrorInfo** p) { if (p) *p = nullptr; return S_FALSE; }
extern "C" HRESULT STDAPICALLTYPE CreateErrorInfo(ICreateErrorInfo**) { return E_NOTIMPL; }
extern "C" int WINAPI MultiByteToWideChar(UINT, DWORD, LPCSTR, int, LPWSTR, int) { return 0; }
extern "C" int WINAPI WideCharToMultiByte(UINT, DWORD, LPCWSTR, int, LPSTR, int, LPCSTR, LPBOOL) { return 0; }
extern "C" LCID WINAPI GetThreadLocale(void) { return 0x409; }
extern "C" BOOL WINAPI SetThreadLocale(LCID) { return TRUE; }
extern "C" LCID WINAPI GetSystemDefaultLCID(void) { return 0x409; }
extern "C" LCID WINAPI GetUserDefaultLCID(void) { return 0x409; }
extern "C" void WINAPI GetSystemTime(LPSYSTEMTIME) {}
extern "C" void WINAPI GetLocalTime(LPSYSTEMTIME) {}
extern "C" void WINAPI GetSystemTimeAsFileTime(LPFILETIME) {}
extern "C" void WINAPI OutputDebugStringA(LPCSTR) {}
extern "C" void WINAPI OutputDebugStringW(LPCWSTR) {}
extern "C" DWORD WINAPI FormatMessageW(DWORD, LPCVOID, DWORD, DWORD, LPWSTR, DWORD, va_list*) { return 0; }
extern "C" HRESULT STDAPICALLTYPE CoCreateGuid(GUID*) { return E_NOTIMPL; }
namespace wincompat {
void SetDebugOutputSink(DebugOutputSink) {}
}
