// LocalAlloc/LocalFree and the COM task allocator over the C heap; a request for zero bytes still
// gets a block of its own.
#include <windows.h>

#include <cstdlib>

extern "C" HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    void* memory = (uFlags & LMEM_ZEROINIT) ? calloc(1, uBytes ? uBytes : 1) : malloc(uBytes ? uBytes : 1);
    if (!memory) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return memory;
}

extern "C" HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    free(hMem);
    return nullptr;
}

extern "C" LPVOID STDAPICALLTYPE CoTaskMemAlloc(SIZE_T cb) { return malloc(cb ? cb : 1); }
extern "C" LPVOID STDAPICALLTYPE CoTaskMemRealloc(LPVOID pv, SIZE_T cb) { return realloc(pv, cb ? cb : 1); }
extern "C" void STDAPICALLTYPE CoTaskMemFree(LPVOID pv) { free(pv); }
