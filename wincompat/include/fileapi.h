// File and mailslot services (kernel32): files on the local file system, and
// mailslots carried by local datagram sockets.
//
// Narrow path names are UTF-8 (the ANSI code page here); backslashes separate
// path components as on Windows. Sharing modes and attributes are accepted and
// not enforced. Overlapped I/O is not supported.
//
// A mailslot "\\.\mailslot\NAME" is an AF_UNIX datagram socket bound in the
// mailslot folder: $WINCOMPAT_MAILSLOT_DIR when set, else
// /tmp/wincompat-mailslots-<uid>. NAME is compared case-insensitively as on
// Windows. A writer never waits for a reader: a write to a mailslot whose
// reader is gone, or whose queue stays full for a few milliseconds, fails.
// The maximum message size given to CreateMailslot is not enforced.
#pragma once
#include "minwinbase.h"
#include "windef.h"
#include "winerror.h"

typedef struct _OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    union {
        struct {
            DWORD Offset;
            DWORD OffsetHigh;
        };
        PVOID Pointer;
    };
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

#ifndef GENERIC_READ
#define GENERIC_READ 0x80000000L
#define GENERIC_WRITE 0x40000000L
#define GENERIC_EXECUTE 0x20000000L
#define GENERIC_ALL 0x10000000L
#endif

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100

#define FILE_FLAG_WRITE_THROUGH 0x80000000
#define FILE_FLAG_OVERLAPPED 0x40000000

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

#define INVALID_FILE_SIZE ((DWORD)0xffffffff)
#define INVALID_SET_FILE_POINTER ((DWORD)-1)

#define MAILSLOT_NO_MESSAGE ((DWORD)-1)
#define MAILSLOT_WAIT_FOREVER ((DWORD)-1)

EXTERN_C HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
EXTERN_C HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
#define CreateFile CreateFileW
EXTERN_C BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                              LPOVERLAPPED lpOverlapped);
EXTERN_C BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
EXTERN_C DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                                     DWORD dwMoveMethod);
EXTERN_C DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
EXTERN_C BOOL WINAPI FlushFileBuffers(HANDLE hFile);
EXTERN_C BOOL WINAPI DeleteFileA(LPCSTR lpFileName);
EXTERN_C BOOL WINAPI DeleteFileW(LPCWSTR lpFileName);
#define DeleteFile DeleteFileW

// The SDK declares these in winbase.h; they live here with the other file services.
EXTERN_C BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName);
EXTERN_C BOOL WINAPI MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName);
#define MoveFile MoveFileW
EXTERN_C HANDLE WINAPI CreateMailslotA(LPCSTR lpName, DWORD nMaxMessageSize, DWORD lReadTimeout,
                                       LPSECURITY_ATTRIBUTES lpSecurityAttributes);
EXTERN_C HANDLE WINAPI CreateMailslotW(LPCWSTR lpName, DWORD nMaxMessageSize, DWORD lReadTimeout,
                                       LPSECURITY_ATTRIBUTES lpSecurityAttributes);
#define CreateMailslot CreateMailslotW
