// Helpers for the tests that read what the trace facility wrote.
#pragma once
#include <windows.h>

#include <stdarg.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "TraceLog.h"
#include "support/TempFolder.h"

namespace quillet_test {

using wincompat_test::TempFolder;

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// A viewer of the "OMBRATrace" mailslot, with the mailslot folder in `folder`.
// Each read waits at most `readTimeoutMs` for a message.
class MailslotReader {
public:
    explicit MailslotReader(const TempFolder& folder, DWORD readTimeoutMs = 300) {
        setenv("WINCOMPAT_MAILSLOT_DIR", folder.path().c_str(), 1);
        slot_ = CreateMailslotW(u"\\\\.\\mailslot\\OMBRATrace", 0, readTimeoutMs, nullptr);
    }
    ~MailslotReader() {
        if (slot_ != INVALID_HANDLE_VALUE) CloseHandle(slot_);
        unsetenv("WINCOMPAT_MAILSLOT_DIR");
    }
    MailslotReader(const MailslotReader&) = delete;
    MailslotReader& operator=(const MailslotReader&) = delete;

    bool Open() const { return slot_ != INVALID_HANDLE_VALUE; }

    // The next message, or nothing when none arrives in time.
    std::optional<std::string> Next() {
        char buffer[1024];
        DWORD read = 0;
        if (!::ReadFile(slot_, buffer, sizeof buffer, &read, nullptr)) return std::nullopt;
        return std::string(buffer, read);
    }

private:
    HANDLE slot_ = INVALID_HANDLE_VALUE;
};

struct MailslotHeader {
    DWORD sequence, one, alsoOne, length;
};

inline DWORD LittleEndian(const std::string& bytes, size_t offset) {
    return static_cast<DWORD>(static_cast<unsigned char>(bytes[offset])) |
           static_cast<DWORD>(static_cast<unsigned char>(bytes[offset + 1])) << 8 |
           static_cast<DWORD>(static_cast<unsigned char>(bytes[offset + 2])) << 16 |
           static_cast<DWORD>(static_cast<unsigned char>(bytes[offset + 3])) << 24;
}

inline MailslotHeader ParseHeader(const std::string& bytes) {
    return {LittleEndian(bytes, 0), LittleEndian(bytes, 4), LittleEndian(bytes, 8), LittleEndian(bytes, 12)};
}

inline void Message(LONG level, LONG module, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    quillet::TraceMessage(level, module, format, arguments);
    va_end(arguments);
}

}  // namespace quillet_test
