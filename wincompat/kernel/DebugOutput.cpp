// Debugger output: one process-wide sink. Without a debugger attached Windows
// drops the text, so the default is silence; WINCOMPAT_DEBUG_OUTPUT can send it
// to standard error or append it to a file, and tests install their own sink.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "wincompat/DebugOutput.h"

namespace {

struct FileCloser {
    void operator()(FILE* file) const {
        if (file) fclose(file);
    }
};

class DebugOutput {
public:
    // Sinks are called one at a time; a sink that itself writes debugger output
    // re-enters on the same thread instead of deadlocking.
    void Write(const std::string& text) {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        if (custom_) {
            custom_(text);
            return;
        }
        if (!environmentRead_) OpenFromEnvironment();
        FILE* target = toStandardError_ ? stderr : file_.get();
        if (!target) return;
        fwrite(text.data(), 1, text.size(), target);
        fflush(target);
    }

    void SetSink(wincompat::DebugOutputSink sink) {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        custom_ = std::move(sink);
    }

private:
    void OpenFromEnvironment() {
        environmentRead_ = true;
        const char* setting = getenv("WINCOMPAT_DEBUG_OUTPUT");
        if (!setting || !*setting) return;
        if (strcmp(setting, "stderr") == 0) {
            toStandardError_ = true;
            return;
        }
        file_.reset(fopen(setting, "a"));
        if (!file_) fprintf(stderr, "wincompat: cannot open debugger output file %s\n", setting);
    }

    std::recursive_mutex lock_;
    wincompat::DebugOutputSink custom_;
    bool environmentRead_ = false;
    bool toStandardError_ = false;
    std::unique_ptr<FILE, FileCloser> file_;
};

DebugOutput& Output() {
    static DebugOutput* output = new DebugOutput;  // usable from other modules' static destructors
    return *output;
}

std::string ToUtf8(LPCWSTR text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], size, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(size - 1));
    return utf8;
}
}  // namespace

namespace wincompat {
void SetDebugOutputSink(DebugOutputSink sink) { Output().SetSink(std::move(sink)); }
}  // namespace wincompat

// The ANSI code page is UTF-8 here, so the text passes through unchanged.
extern "C" void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
    if (!lpOutputString || !*lpOutputString) return;
    Output().Write(lpOutputString);
}

extern "C" void WINAPI OutputDebugStringW(LPCWSTR lpOutputString) {
    if (!lpOutputString) return;
    DWORD savedError = GetLastError();  // the conversion must not disturb the caller's last error
    std::string text = ToUtf8(lpOutputString);
    SetLastError(savedError);
    if (!text.empty()) Output().Write(text);
}
