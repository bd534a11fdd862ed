// The plug-in's trace facility: printf-style records tagged with a module
// number and a level, filtered, split into lines, stamped with the local time
// and the thread id, and written to standard output, the "OMBRATrace" mailslot
// and a rotated log file. At load it is switched off: every call returns at
// the master-switch test and touches no lock, mutex or handle.
#pragma once
#include <windows.h>

#include <stdarg.h>

#include <map>
#include <string>

namespace quillet {

// Levels; a record passes when its level is not above the module's threshold.
enum TraceLevel : LONG {
    kTraceLevelLowError = 1,
    kTraceLevelLowWarning = 2,
    kTraceLevelLowInfo = 3,
    kTraceLevelLowExtra = 4,
    kTraceLevelError = 5,
    kTraceLevelWarning = 6,
    kTraceLevelInfo = 7,
    kTraceLevelExtra = 8,
};

struct TraceModuleEntry {
    std::string name;
    LONG level = kTraceLevelInfo;
};

// What the configuration operation sets. The defaults are the load-time values
// apart from the master switch, which ConfigureTrace clears.
struct TraceConfiguration {
    bool console = false;
    bool mailslot = false;
    bool milliseconds = false;
    LONG defaultLevel = kTraceLevelInfo;
    ULONG rotateSize = 10;
    // Path and name of the log file without ".log"; empty: no file sink.
    std::string baseName;
    // Name of the kernel mutex held around file writes; empty: an unnamed one.
    std::string fileMutexName;
    std::map<LONG, TraceModuleEntry> modules;
};

// Enables tracing as described. The locks are set up before the master switch
// is cleared; the log file is opened only once its mutex exists. Returns false
// (and leaves tracing switched off) when the base name is too long, the mutex
// cannot be created or the log file cannot be opened. Meant for set-up while
// no trace call is running; the plug-in itself never calls it.
bool ConfigureTrace(const TraceConfiguration& configuration);
// Back to the load-time values: switched off, file and mutex closed, modules forgotten.
void ResetTrace();

void TraceError(LONG module, const char* format, ...);
void TraceInfo(LONG module, const char* format, ...);
void TraceMessage(LONG level, LONG module, const char* format, va_list arguments);
// Emits every non-empty line of `text`; the text is split in place and restored.
void TraceLines(LONG level, LONG module, char* text);
void TraceLine(const char* text, LONG level, LONG module);
void TraceToMailslot(LONG module, LONG level, const char* timestamp, DWORD threadId, const char* text);
bool IsTraceSuppressed(LONG module, LONG level);
std::string TraceModuleName(LONG module);

// The one-character tag that a level prints as ('?' outside 1 to 8).
char TraceLevelTag(LONG level);

// The 16-byte header that precedes each mailslot text.
constexpr DWORD kTraceMailslotHeaderSize = 16;

}  // namespace quillet
