// Files: CreateFile, ReadFile, WriteFile, SetFilePointer, GetFileSize,
// FlushFileBuffers, DeleteFile, MoveFile over POSIX descriptors.
#include <windows.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "file/FileObjects.h"

namespace wincompat {

void SetLastErrorFromErrno(int error) {
    DWORD code;
    switch (error) {
        case ENOENT: code = ERROR_FILE_NOT_FOUND; break;
        case ENOTDIR: code = ERROR_PATH_NOT_FOUND; break;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS: code = ERROR_ACCESS_DENIED; break;
        case EEXIST: code = ERROR_FILE_EXISTS; break;
        case ENAMETOOLONG: code = ERROR_FILENAME_EXCED_RANGE; break;
        case ENOSPC:
        case EDQUOT: code = ERROR_DISK_FULL; break;
        case ENOMEM: code = ERROR_NOT_ENOUGH_MEMORY; break;
        case EBADF: code = ERROR_INVALID_HANDLE; break;
        case EINVAL: code = ERROR_INVALID_PARAMETER; break;
        case EBUSY: code = ERROR_SHARING_VIOLATION; break;
        default: code = ERROR_GEN_FAILURE; break;
    }
    SetLastError(code);
}

bool NarrowPathArgument(LPCWSTR wide, std::string& narrow) {
    if (!wide) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    narrow.assign(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, &narrow[0], size, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(size - 1));
    return true;
}

std::string PosixPath(const char* path) {
    std::string result(path);
    for (char& c : result)
        if (c == '\\') c = '/';
    return result;
}

FileObject::~FileObject() { close(fd_); }

}  // namespace wincompat

namespace {

using wincompat::FileObject;
using wincompat::StreamObject;

HANDLE OpenFile(const std::string& path, DWORD access, DWORD disposition) {
    std::string slotName;
    if (wincompat::IsMailslotName(path, slotName)) {
        if (disposition != OPEN_EXISTING || (access & GENERIC_READ)) {
            SetLastError(ERROR_ACCESS_DENIED);  // only the mailslot's creator reads from it
            return INVALID_HANDLE_VALUE;
        }
        return wincompat::OpenMailslotForWriting(slotName);
    }
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }

    bool readable = (access & (GENERIC_READ | GENERIC_ALL)) != 0;
    bool writable = (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
    int flags = O_CLOEXEC;
    flags |= readable && writable ? O_RDWR : writable ? O_WRONLY : O_RDONLY;
    switch (disposition) {
        case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
        case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
        case OPEN_EXISTING: break;
        case OPEN_ALWAYS: flags |= O_CREAT; break;
        case TRUNCATE_EXISTING:
            if (!writable) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return INVALID_HANDLE_VALUE;
            }
            flags |= O_TRUNC;
            break;
        default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
    }

    std::string posix = wincompat::PosixPath(path.c_str());
    struct stat before {};
    bool existed = stat(posix.c_str(), &before) == 0;
    if (existed && S_ISDIR(before.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    int fd = open(posix.c_str(), flags, 0666);
    if (fd < 0) {
        wincompat::SetLastErrorFromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = wincompat::RegisterHandle(std::make_unique<FileObject>(fd, readable, writable));
    // As on Windows: success, with ERROR_ALREADY_EXISTS when an existing file was opened this way.
    bool reportsExisting = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    SetLastError(reportsExisting && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

bool RejectOverlapped(LPOVERLAPPED overlapped) {
    if (!overlapped) return false;
    SetLastError(ERROR_NOT_SUPPORTED);
    return true;
}

}  // namespace

extern "C" HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                                     DWORD dwCreationDisposition, DWORD, HANDLE) {
    if (!lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return OpenFile(lpFileName, dwDesiredAccess, dwCreationDisposition);
}

extern "C" HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                                     DWORD dwCreationDisposition, DWORD, HANDLE) {
    std::string path;
    if (!wincompat::NarrowPathArgument(lpFileName, path)) return INVALID_HANDLE_VALUE;
    return OpenFile(path, dwDesiredAccess, dwCreationDisposition);
}

extern "C" BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                                LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
    if (RejectOverlapped(lpOverlapped)) return FALSE;
    if (!lpBuffer && nNumberOfBytesToRead) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (auto* stream = wincompat::LookUpHandleAs<StreamObject>(hFile))
        return stream->Read(lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead);
    auto* file = wincompat::LookUpHandleAs<FileObject>(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!file->Readable()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    ssize_t got;
    do {
        got = read(file->Descriptor(), lpBuffer, nNumberOfBytesToRead);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        wincompat::SetLastErrorFromErrno(errno);
        return FALSE;
    }
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = static_cast<DWORD>(got);
    return TRUE;  // end of file is a successful read of 0 bytes
}

extern "C" BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                 LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
    if (RejectOverlapped(lpOverlapped)) return FALSE;
    if (!lpBuffer && nNumberOfBytesToWrite) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (auto* stream = wincompat::LookUpHandleAs<StreamObject>(hFile))
        return stream->Write(lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten);
    auto* file = wincompat::LookUpHandleAs<FileObject>(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!file->Writable()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const char* data = static_cast<const char*>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToWrite) {
        ssize_t put = write(file->Descriptor(), data + done, nNumberOfBytesToWrite - done);
        if (put < 0) {
            if (errno == EINTR) continue;
            if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
            wincompat::SetLastErrorFromErrno(errno);
            return FALSE;
        }
        done += static_cast<DWORD>(put);
    }
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
    return TRUE;
}

extern "C" DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                                       DWORD dwMoveMethod) {
    auto* file = wincompat::LookUpHandleAs<FileObject>(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    int whence;
    switch (dwMoveMethod) {
        case FILE_BEGIN: whence = SEEK_SET; break;
        case FILE_CURRENT: whence = SEEK_CUR; break;
        case FILE_END: whence = SEEK_END; break;
        default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_SET_FILE_POINTER;
    }
    // Without the high part the distance is a signed 32-bit value; with it, a signed 64-bit one.
    int64_t distance =
        lpDistanceToMoveHigh
            ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
                                   static_cast<uint32_t>(lDistanceToMove))
            : static_cast<int64_t>(lDistanceToMove);
    off_t position = lseek(file->Descriptor(), static_cast<off_t>(distance), whence);
    if (position < 0) {
        if (errno == EINVAL)
            SetLastError(ERROR_NEGATIVE_SEEK);
        else
            wincompat::SetLastErrorFromErrno(errno);
        return INVALID_SET_FILE_POINTER;
    }
    uint64_t unsignedPosition = static_cast<uint64_t>(position);
    if (lpDistanceToMoveHigh) {
        *lpDistanceToMoveHigh = static_cast<LONG>(unsignedPosition >> 32);
    } else if (unsignedPosition > 0xFFFFFFFEull) {
        SetLastError(ERROR_INVALID_PARAMETER);  // the position does not fit the single 32-bit result
        return INVALID_SET_FILE_POINTER;
    }
    SetLastError(ERROR_SUCCESS);  // callers tell a position of 0xFFFFFFFF from a failure by the last error
    return static_cast<DWORD>(unsignedPosition & 0xFFFFFFFFu);
}

extern "C" DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    auto* file = wincompat::LookUpHandleAs<FileObject>(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    struct stat info {};
    if (fstat(file->Descriptor(), &info) != 0) {
        wincompat::SetLastErrorFromErrno(errno);
        return INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(info.st_size);
    if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

extern "C" BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    auto* file = wincompat::LookUpHandleAs<FileObject>(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (fsync(file->Descriptor()) != 0) {
        wincompat::SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

namespace {

BOOL DeleteNarrow(const char* path) {
    std::string posix = wincompat::PosixPath(path);
    struct stat info {};
    if (stat(posix.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);  // DeleteFile does not remove folders
        return FALSE;
    }
    if (unlink(posix.c_str()) != 0) {
        wincompat::SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

BOOL MoveNarrow(const char* from, const char* to) {
    std::string source = wincompat::PosixPath(from);
    std::string target = wincompat::PosixPath(to);
    // MoveFile never replaces an existing file.
    if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno == EEXIST)
            SetLastError(ERROR_ALREADY_EXISTS);
        else
            wincompat::SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

extern "C" BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    if (!lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return DeleteNarrow(lpFileName);
}

extern "C" BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
    std::string path;
    if (!wincompat::NarrowPathArgument(lpFileName, path)) return FALSE;
    return DeleteNarrow(path.c_str());
}

extern "C" BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
    if (!lpExistingFileName || !lpNewFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return MoveNarrow(lpExistingFileName, lpNewFileName);
}

extern "C" BOOL WINAPI MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
    std::string from, to;
    if (!lpExistingFileName || !lpNewFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!wincompat::NarrowPathArgument(lpExistingFileName, from) || !wincompat::NarrowPathArgument(lpNewFileName, to))
        return FALSE;
    return MoveNarrow(from.c_str(), to.c_str());
}
