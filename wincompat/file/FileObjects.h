// Kernel objects behind file and mailslot handles, and the helpers that the
// file services share.
#pragma once
#include <windows.h>

#include <string>

#include "kernel/Handles.h"

namespace wincompat {

// Sets the thread's last error from an errno value.
void SetLastErrorFromErrno(int error);

// A path argument of a wide API in UTF-8. False with the last error set when
// there is none (ERROR_INVALID_PARAMETER) or it is not valid UTF-16
// (ERROR_INVALID_NAME).
bool NarrowPathArgument(LPCWSTR wide, std::string& narrow);
// Windows path separators become POSIX ones.
std::string PosixPath(const char* path);

// An open regular file.
class FileObject : public KernelObject {
public:
    FileObject(int fd, bool readable, bool writable) : fd_(fd), readable_(readable), writable_(writable) {}
    ~FileObject() override;
    int Descriptor() const { return fd_; }
    bool Readable() const { return readable_; }
    bool Writable() const { return writable_; }

private:
    int fd_;
    bool readable_;
    bool writable_;
};

// Something that ReadFile and WriteFile can serve besides a regular file.
class StreamObject : public KernelObject {
public:
    virtual BOOL Read(void* buffer, DWORD size, DWORD* read) = 0;
    virtual BOOL Write(const void* buffer, DWORD size, DWORD* written) = 0;
};

// "\\.\mailslot\NAME" (any case, either separator) gives true and NAME.
bool IsMailslotName(const std::string& path, std::string& slotName);
// Opens the writing end of an existing mailslot; sets the last error and gives
// INVALID_HANDLE_VALUE when no reader has created it.
HANDLE OpenMailslotForWriting(const std::string& slotName);

}  // namespace wincompat
