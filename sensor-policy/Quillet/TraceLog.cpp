// The trace facility's process-wide state and sinks: messages formatted, filtered by module level
// and split into lines, then written to standard output, the OMBRATrace mailslot and a log file
// rotated into one backup.
#include "TraceLog.h"

#include <stdio.h>
#include <string.h>

#include <atomic>

namespace quillet {
namespace {

constexpr size_t kMessageBufferSize = 4100;
constexpr int kMessageBound = 4096;
constexpr size_t kFileLineBufferSize = 4100;
constexpr int kFileLineBound = 4096;
constexpr size_t kMailslotBufferSize = 400;
constexpr int kMailslotBound = 399;
constexpr size_t kTimestampBufferSize = 64;
constexpr size_t kFileNameBufferSize = 260;
constexpr const char* kUnknownModuleName = "???";
constexpr const OLECHAR kMailslotName[] = OLESTR("\\\\.\\mailslot\\OMBRATrace");

// Process-wide trace state. The flags and levels are read without a lock
// (atomics, so that a configuration made before the tracing threads start is
// seen by them); the module table is guarded by the module lock; the log file
// is written and rotated under the file mutex.
struct TraceSettings {
    std::atomic<bool> masterSwitch{true};
    std::atomic<LONG> defaultLevel{kTraceLevelInfo};
    std::atomic<ULONG> rotateSize{10};
    HANDLE fileMutex = INVALID_HANDLE_VALUE;
    char baseName[kFileNameBufferSize] = "";
    std::atomic<HANDLE> logFile{nullptr};
    std::atomic<bool> mailslot{false};
    std::atomic<bool> console{false};
    std::atomic<bool> milliseconds{false};
    std::map<LONG, TraceModuleEntry> modules;

    // Set up by the first configuration, before the master switch is cleared.
    bool locksReady = false;
    CRITICAL_SECTION moduleLock;
    // Keeps a mailslot header and its text together and their sequence number unique.
    CRITICAL_SECTION mailslotLock;
    DWORD mailslotSequence = 0;

    ~TraceSettings() {
        CloseFileSink();
        if (locksReady) {
            DeleteCriticalSection(&moduleLock);
            DeleteCriticalSection(&mailslotLock);
        }
    }

    void CloseFileSink() {
        HANDLE file = logFile.exchange(nullptr);
        if (file && file != INVALID_HANDLE_VALUE) CloseHandle(file);
        if (fileMutex && fileMutex != INVALID_HANDLE_VALUE) CloseHandle(fileMutex);
        fileMutex = INVALID_HANDLE_VALUE;
        baseName[0] = '\0';
    }
};

TraceSettings g_settings;

class ModuleLock {
public:
    ModuleLock() { EnterCriticalSection(&g_settings.moduleLock); }
    ~ModuleLock() { LeaveCriticalSection(&g_settings.moduleLock); }
    ModuleLock(const ModuleLock&) = delete;
    ModuleLock& operator=(const ModuleLock&) = delete;
};

bool LogFileNames(char (&current)[kFileNameBufferSize], char (&backup)[kFileNameBufferSize]) {
    int currentLength = snprintf(current, sizeof current, "%s.log", g_settings.baseName);
    int backupLength = snprintf(backup, sizeof backup, "%s_backup.log", g_settings.baseName);
    return currentLength >= 0 && currentLength < static_cast<int>(sizeof current) && backupLength >= 0 &&
           backupLength < static_cast<int>(sizeof backup);
}

// Inside the file mutex: at most one older generation survives, in the backup file.
void RotateLogFile() {
    char current[kFileNameBufferSize];
    char backup[kFileNameBufferSize];
    if (!LogFileNames(current, backup)) return;
    DeleteFileA(backup);
    HANDLE old = g_settings.logFile.load();
    if (old && old != INVALID_HANDLE_VALUE) CloseHandle(old);
    MoveFileA(current, backup);
    HANDLE fresh = CreateFileA(current, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    // A failed re-creation leaves an unusable handle: later writes fail silently.
    g_settings.logFile.store(fresh);
}

void TraceToFile(const char* timestamp, char tag, DWORD threadId, const char* name, const char* text) {
    if (WaitForSingleObject(g_settings.fileMutex, INFINITE) == WAIT_FAILED) return;
    HANDLE file = g_settings.logFile.load();
    DWORD position = SetFilePointer(file, 0, nullptr, FILE_END);
    char line[kFileLineBufferSize];
    int length = snprintf(line, sizeof line, "%s\t%c\t#%05d\t%-8s\t%s\r\n", timestamp, tag, static_cast<int>(threadId),
                          name, text);
    if (length >= 0 && length <= kFileLineBound) {
        DWORD written = 0;
        BOOL ok = WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
        // Rotate only after a write that reached the file: a failed write must not
        // cost the backup generation.
        if (ok && position != INVALID_SET_FILE_POINTER &&
            static_cast<unsigned long long>(position) + written >= g_settings.rotateSize.load())
            RotateLogFile();
    }
    ReleaseMutex(g_settings.fileMutex);
}

void PutLittleEndian(unsigned char* target, DWORD value) {
    target[0] = static_cast<unsigned char>(value);
    target[1] = static_cast<unsigned char>(value >> 8);
    target[2] = static_cast<unsigned char>(value >> 16);
    target[3] = static_cast<unsigned char>(value >> 24);
}

void WriteLine(const char* text, LONG level, LONG module);

}  // namespace

char TraceLevelTag(LONG level) {
    static const char kTags[] = "ewixEWIX";
    return level >= 1 && level <= 8 ? kTags[level - 1] : '?';
}

bool IsTraceSuppressed(LONG module, LONG level) {
    if (g_settings.masterSwitch.load(std::memory_order_acquire)) return true;
    ModuleLock lock;
    auto entry = g_settings.modules.find(module);
    LONG threshold = entry != g_settings.modules.end() ? entry->second.level : g_settings.defaultLevel.load();
    return level > threshold;
}

std::string TraceModuleName(LONG module) {
    ModuleLock lock;
    auto entry = g_settings.modules.find(module);
    return entry != g_settings.modules.end() ? entry->second.name : std::string(kUnknownModuleName);
}

void TraceError(LONG module, const char* format, ...) {
    if (IsTraceSuppressed(module, kTraceLevelError)) return;
    va_list arguments;
    va_start(arguments, format);
    TraceMessage(kTraceLevelError, module, format, arguments);
    va_end(arguments);
}

void TraceInfo(LONG module, const char* format, ...) {
    if (IsTraceSuppressed(module, kTraceLevelInfo)) return;
    va_list arguments;
    va_start(arguments, format);
    TraceMessage(kTraceLevelInfo, module, format, arguments);
    va_end(arguments);
}

void TraceMessage(LONG level, LONG module, const char* format, va_list arguments) {
    if (IsTraceSuppressed(module, level)) return;
    char message[kMessageBufferSize];
    if (!format) format = kUnknownModuleName;
    // A longer result is cut at the bound and the cut text is used.
    if (vsnprintf(message, kMessageBound + 1, format, arguments) < 0) return;
    TraceLines(level, module, message);
}

void TraceLines(LONG level, LONG module, char* text) {
    if (!text || IsTraceSuppressed(module, level)) return;
    char* line = text;
    for (;;) {
        char* end = strchr(line, '\n');
        if (end) *end = '\0';
        if (*line) TraceLine(line, level, module);
        if (!end) break;
        *end = '\n';
        line = end + 1;
    }
}

void TraceLine(const char* text, LONG level, LONG module) {
    if (IsTraceSuppressed(module, level)) return;
    try {
        WriteLine(text, level, module);
    } catch (...) {
        // Trace calls never fail towards the caller (the name copy may run out of memory).
    }
}

namespace {
void WriteLine(const char* text, LONG level, LONG module) {
    std::string name = TraceModuleName(module);

    SYSTEMTIME now;
    GetLocalTime(&now);
    char millisecondText[4] = "";
    if (g_settings.milliseconds.load())
        snprintf(millisecondText, sizeof millisecondText, "%03d", now.wMilliseconds % 1000);
    char timestamp[kTimestampBufferSize];
    snprintf(timestamp, sizeof timestamp, "%04d/%02d/%02d %02d:%02d:%02d:%s", now.wYear, now.wMonth, now.wDay,
             now.wHour, now.wMinute, now.wSecond, millisecondText);
    DWORD threadId = GetCurrentThreadId();
    char tag = TraceLevelTag(level);

    if (g_settings.console.load())
        printf("%s %c %5d %-8s %s\n", timestamp, tag, static_cast<int>(threadId), name.c_str(), text);
    if (g_settings.mailslot.load()) TraceToMailslot(module, level, timestamp, threadId, text);
    if (g_settings.logFile.load()) TraceToFile(timestamp, tag, threadId, name.c_str(), text);
}
}  // namespace

void TraceToMailslot(LONG module, LONG level, const char* timestamp, DWORD threadId, const char* text) {
    if (IsTraceSuppressed(module, level)) return;
    std::string name;
    try {
        name = TraceModuleName(module);
    } catch (...) {
        return;
    }
    HANDLE slot = CreateFileW(kMailslotName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (slot == INVALID_HANDLE_VALUE) return;  // no viewer has created the mailslot
    char message[kMailslotBufferSize];
    int length = snprintf(message, sizeof message, "%s %c %4d %-8s %s", timestamp, TraceLevelTag(level),
                          static_cast<int>(threadId), name.c_str(), text);
    if (length >= 0 && length <= kMailslotBound) {
        EnterCriticalSection(&g_settings.mailslotLock);
        unsigned char header[kTraceMailslotHeaderSize];
        PutLittleEndian(header, ++g_settings.mailslotSequence);
        PutLittleEndian(header + 4, 1);
        PutLittleEndian(header + 8, 1);
        PutLittleEndian(header + 12, static_cast<DWORD>(length) + 1);
        DWORD written = 0;
        if (WriteFile(slot, header, sizeof header, &written, nullptr))
            WriteFile(slot, message, static_cast<DWORD>(length) + 1, &written, nullptr);
        LeaveCriticalSection(&g_settings.mailslotLock);
    }
    CloseHandle(slot);
}

bool ConfigureTrace(const TraceConfiguration& configuration) {
    ResetTrace();
    if (!g_settings.locksReady) {
        InitializeCriticalSection(&g_settings.moduleLock);
        InitializeCriticalSection(&g_settings.mailslotLock);
        g_settings.locksReady = true;
    }
    {
        ModuleLock lock;
        g_settings.modules = configuration.modules;
    }
    g_settings.defaultLevel.store(configuration.defaultLevel);
    g_settings.rotateSize.store(configuration.rotateSize);
    g_settings.console.store(configuration.console);
    g_settings.mailslot.store(configuration.mailslot);
    g_settings.milliseconds.store(configuration.milliseconds);

    if (!configuration.baseName.empty()) {
        if (configuration.baseName.size() >= sizeof g_settings.baseName) return false;
        strcpy(g_settings.baseName, configuration.baseName.c_str());
        char current[kFileNameBufferSize];
        char backup[kFileNameBufferSize];
        if (!LogFileNames(current, backup)) {
            g_settings.baseName[0] = '\0';
            return false;
        }
        HANDLE mutex = CreateMutexA(
            nullptr, FALSE, configuration.fileMutexName.empty() ? nullptr : configuration.fileMutexName.c_str());
        if (!mutex) {
            g_settings.baseName[0] = '\0';
            return false;
        }
        HANDLE file = CreateFileA(current, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            CloseHandle(mutex);
            g_settings.baseName[0] = '\0';
            return false;
        }
        g_settings.fileMutex = mutex;
        g_settings.logFile.store(file);
    }
    g_settings.masterSwitch.store(false, std::memory_order_release);
    return true;
}

void ResetTrace() {
    g_settings.masterSwitch.store(true, std::memory_order_release);
    g_settings.console.store(false);
    g_settings.mailslot.store(false);
    g_settings.milliseconds.store(false);
    g_settings.defaultLevel.store(kTraceLevelInfo);
    g_settings.rotateSize.store(10);
    g_settings.CloseFileSink();
    if (g_settings.locksReady) {
        {
            ModuleLock lock;
            g_settings.modules.clear();
        }
        EnterCriticalSection(&g_settings.mailslotLock);
        g_settings.mailslotSequence = 0;
        LeaveCriticalSection(&g_settings.mailslotLock);
    }
}

}  // namespace quillet
