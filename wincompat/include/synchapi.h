// Kernel mutexes and waiting (kernel32). A mutex is owned by a thread and may
// be acquired again by its owner (each acquisition needs its own release).
// When the owning thread ends without releasing it, the next wait returns
// WAIT_ABANDONED and takes ownership. Named mutexes are shared within the
// process: a second CreateMutex with the same name opens the same mutex.
// Critical sections are declared in winbase.h.
#pragma once
#include "minwinbase.h"
#include "windef.h"
#include "winerror.h"

#define INFINITE 0xffffffff
#define WAIT_OBJECT_0 ((DWORD)0x00000000)
#define WAIT_ABANDONED ((DWORD)0x00000080)
#define WAIT_ABANDONED_0 ((DWORD)0x00000080)
#ifndef WAIT_TIMEOUT
#define WAIT_TIMEOUT 258L
#endif
#define WAIT_FAILED ((DWORD)0xffffffff)

#ifndef SYNCHRONIZE
#define SYNCHRONIZE 0x00100000L
#endif
#define MUTEX_MODIFY_STATE 0x0001
#define MUTEX_ALL_ACCESS 0x1F0001

EXTERN_C HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName);
EXTERN_C HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName);
#define CreateMutex CreateMutexW
EXTERN_C HANDLE WINAPI OpenMutexW(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCWSTR lpName);
#define OpenMutex OpenMutexW
EXTERN_C BOOL WINAPI ReleaseMutex(HANDLE hMutex);
EXTERN_C DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
