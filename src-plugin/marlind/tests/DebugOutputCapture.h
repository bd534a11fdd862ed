// What marlind writes to the debugger output, collected while alive. Only
// wincompat lets a test capture that output, so the Windows build leaves out
// the event-model tests that read it (EventReportsTest, EventDocumentThreadTest).
#pragma once
#include <wincompat/DebugOutput.h>

#include <mutex>
#include <string>
#include <vector>

namespace marlind_test {

class DebugOutputCapture {
public:
    DebugOutputCapture() {
        wincompat::SetDebugOutputSink([this](const std::string& text) {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(text);
        });
    }
    ~DebugOutputCapture() { wincompat::SetDebugOutputSink({}); }
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace marlind_test
