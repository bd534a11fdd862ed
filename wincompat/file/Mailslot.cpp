// Mailslots over AF_UNIX datagram sockets. The reader (CreateMailslot) binds a
// socket at a path derived from the mailslot name; a writer (CreateFile on
// "\\.\mailslot\NAME") connects to it. One WriteFile is one datagram, one
// ReadFile receives one whole message, as with Windows mailslots.
#include <windows.h>

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>

#include "file/FileObjects.h"

namespace wincompat {
namespace {

// How long a writer waits for room in a reader's queue before the write fails.
// The Linux queue holds only a few datagrams, so a short grace keeps a reading
// viewer from losing records without ever stalling a writer for long.
constexpr int kWriterGraceMilliseconds = 20;

std::string MailslotFolder() {
    if (const char* configured = getenv("WINCOMPAT_MAILSLOT_DIR"); configured && *configured) return configured;
    return "/tmp/wincompat-mailslots-" + std::to_string(getuid());
}

// Mailslot names are case-insensitive; anything but letters, digits, '.', '-'
// and '_' (path separators above all) becomes '_' so that a name stays one file.
std::string EndpointFileName(const std::string& slotName) {
    std::string file;
    for (unsigned char c : slotName) {
        if (std::isalnum(c) || c == '.' || c == '-' || c == '_')
            file += static_cast<char>(std::tolower(c));
        else
            file += '_';
    }
    return file;
}

bool EndpointAddress(const std::string& slotName, sockaddr_un& address) {
    std::string path = MailslotFolder() + "/" + EndpointFileName(slotName);
    if (path.size() >= sizeof(address.sun_path)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    std::copy(path.begin(), path.end(), address.sun_path);
    return true;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

class MailslotReader : public StreamObject {
public:
    MailslotReader(int fd, std::string path, DWORD maxMessageSize, DWORD readTimeout)
        : fd_(fd), path_(std::move(path)), maxMessageSize_(maxMessageSize), readTimeout_(readTimeout) {}
    ~MailslotReader() override {
        unlink(path_.c_str());
        close(fd_);
    }

    BOOL Read(void* buffer, DWORD size, DWORD* read) override {
        if (!WaitForMessage()) {
            SetLastError(ERROR_SEM_TIMEOUT);
            return FALSE;
        }
        // A buffer too small for the next message leaves the message queued.
        ssize_t next = recv(fd_, nullptr, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
        if (next < 0) {
            SetLastErrorFromErrno(errno);
            return FALSE;
        }
        if (static_cast<size_t>(next) > size) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        ssize_t got = recv(fd_, buffer, size, MSG_DONTWAIT);
        if (got < 0) {
            SetLastErrorFromErrno(errno);
            return FALSE;
        }
        if (read) *read = static_cast<DWORD>(got);
        return TRUE;
    }

    BOOL Write(const void*, DWORD, DWORD*) override {
        SetLastError(ERROR_ACCESS_DENIED);  // the creator only reads
        return FALSE;
    }

    DWORD MaxMessageSize() const { return maxMessageSize_; }

private:
    bool WaitForMessage() {
        pollfd waiting{fd_, POLLIN, 0};
        int timeout =
            readTimeout_ == MAILSLOT_WAIT_FOREVER ? -1 : static_cast<int>(std::min<DWORD>(readTimeout_, 0x7FFFFFFF));
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout < 0 ? 0 : timeout);
        for (;;) {
            int ready = poll(&waiting, 1, timeout);
            if (ready > 0) return true;
            if (ready == 0) return false;
            if (errno != EINTR) return false;
            if (timeout >= 0) {
                auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
                timeout = static_cast<int>(std::max<long long>(0, left.count()));
            }
        }
    }

    int fd_;
    std::string path_;
    DWORD maxMessageSize_;
    DWORD readTimeout_;
};

class MailslotWriter : public StreamObject {
public:
    explicit MailslotWriter(int fd) : fd_(fd) {}
    ~MailslotWriter() override { close(fd_); }

    BOOL Read(void*, DWORD, DWORD*) override {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }

    BOOL Write(const void* buffer, DWORD size, DWORD* written) override {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWriterGraceMilliseconds);
        for (;;) {
            ssize_t put = send(fd_, buffer, size, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (put >= 0) {
                if (written) *written = static_cast<DWORD>(put);
                return TRUE;
            }
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) break;
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd room{fd_, POLLOUT, 0};
            poll(&room, 1, static_cast<int>(left.count()));
        }
        SetLastErrorFromErrno(errno == EMSGSIZE ? EINVAL : errno);
        return FALSE;
    }

private:
    int fd_;
};

}  // namespace

bool IsMailslotName(const std::string& path, std::string& slotName) {
    static const char kPrefix[] = "\\\\.\\mailslot\\";
    const size_t prefixLength = sizeof(kPrefix) - 1;
    if (path.size() <= prefixLength) return false;
    for (size_t i = 0; i < prefixLength; ++i) {
        char c = path[i] == '/' ? '\\' : path[i];
        if (std::tolower(static_cast<unsigned char>(c)) != kPrefix[i]) return false;
    }
    slotName = path.substr(prefixLength);
    return true;
}

HANDLE OpenMailslotForWriting(const std::string& slotName) {
    sockaddr_un address;
    if (!EndpointAddress(slotName, address)) return INVALID_HANDLE_VALUE;
    Descriptor fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.Get() < 0) {
        SetLastErrorFromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    if (connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);  // no reader has created the mailslot
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return RegisterHandle(std::make_unique<MailslotWriter>(fd.Release()));
}

}  // namespace wincompat

namespace {

HANDLE CreateMailslotNarrow(const std::string& name, DWORD maxMessageSize, DWORD readTimeout) {
    std::string slotName;
    if (!wincompat::IsMailslotName(name, slotName)) {
        SetLastError(ERROR_BAD_PATHNAME);
        return INVALID_HANDLE_VALUE;
    }
    sockaddr_un address;
    if (!wincompat::EndpointAddress(slotName, address)) return INVALID_HANDLE_VALUE;
    std::string folder = wincompat::MailslotFolder();
    mkdir(folder.c_str(), 0700);

    wincompat::Descriptor fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (fd.Get() < 0) {
        wincompat::SetLastErrorFromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    if (bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        if (errno != EADDRINUSE) {
            wincompat::SetLastErrorFromErrno(errno);
            return INVALID_HANDLE_VALUE;
        }
        // A live reader owns the name; a leftover of a reader that died does not.
        wincompat::Descriptor probe(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        if (probe.Get() >= 0 && connect(probe.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return INVALID_HANDLE_VALUE;
        }
        unlink(address.sun_path);
        if (bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
            wincompat::SetLastErrorFromErrno(errno);
            return INVALID_HANDLE_VALUE;
        }
    }
    SetLastError(ERROR_SUCCESS);
    return wincompat::RegisterHandle(
        std::make_unique<wincompat::MailslotReader>(fd.Release(), address.sun_path, maxMessageSize, readTimeout));
}

}  // namespace

extern "C" HANDLE WINAPI CreateMailslotA(LPCSTR lpName, DWORD nMaxMessageSize, DWORD lReadTimeout,
                                         LPSECURITY_ATTRIBUTES) {
    if (!lpName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return CreateMailslotNarrow(lpName, nMaxMessageSize, lReadTimeout);
}

extern "C" HANDLE WINAPI CreateMailslotW(LPCWSTR lpName, DWORD nMaxMessageSize, DWORD lReadTimeout,
                                         LPSECURITY_ATTRIBUTES) {
    std::string name;
    if (!wincompat::NarrowPathArgument(lpName, name)) return INVALID_HANDLE_VALUE;
    return CreateMailslotNarrow(name, nMaxMessageSize, lReadTimeout);
}
