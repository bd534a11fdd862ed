// TEMPORARY: entry points whose real implementations are being written.
// Each one is removed from this file when its implementation lands.
#include <windows.h>

extern "C" DWORD WINAPI FormatMessageW(DWORD, LPCVOID, DWORD, DWORD, LPWSTR, DWORD, va_list*) { return 0; }
extern "C" HRESULT STDAPICALLTYPE CoCreateGuid(GUID*) { return E_NOTIMPL; }
