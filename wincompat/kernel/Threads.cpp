// Per-thread state and synchronisation primitives.
#include <windows.h>

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <new>
#include <thread>

namespace {
thread_local DWORD tls_last_error = 0;

std::recursive_mutex& MutexOf(LPCRITICAL_SECTION section) {
    static_assert(sizeof(std::recursive_mutex) <= sizeof(section->Opaque), "critical section storage too small");
    return *std::launder(reinterpret_cast<std::recursive_mutex*>(section->Opaque));
}
}  // namespace

extern "C" DWORD WINAPI GetLastError(void) { return tls_last_error; }
extern "C" void WINAPI SetLastError(DWORD dwErrCode) { tls_last_error = dwErrCode; }
extern "C" DWORD WINAPI GetCurrentThreadId(void) { return static_cast<DWORD>(syscall(SYS_gettid)); }
extern "C" DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }
extern "C" void WINAPI Sleep(DWORD dwMilliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}
extern "C" DWORD WINAPI GetTickCount(void) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(now.tv_sec * 1000ull + now.tv_nsec / 1000000);
}

extern "C" void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    new (lpCriticalSection->Opaque) std::recursive_mutex();
    lpCriticalSection->Initialized = 1;
}
extern "C" BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD) {
    InitializeCriticalSection(lpCriticalSection);
    return TRUE;
}
extern "C" void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) { MutexOf(lpCriticalSection).lock(); }
extern "C" BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    return MutexOf(lpCriticalSection).try_lock() ? TRUE : FALSE;
}
extern "C" void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    MutexOf(lpCriticalSection).unlock();
}
extern "C" void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (lpCriticalSection->Initialized) {
        MutexOf(lpCriticalSection).~recursive_mutex();
        lpCriticalSection->Initialized = 0;
    }
}
