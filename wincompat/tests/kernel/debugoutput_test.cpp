// Debugger output reaches the installed sink as UTF-8, from any thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "wincompat/debugoutput.h"

namespace {

class CapturedDebugOutput {
public:
    CapturedDebugOutput() {
        wincompat::SetDebugOutputSink([this](const std::string& text) {
            std::lock_guard<std::mutex> guard(lock_);
            lines_.push_back(text);
        });
    }
    ~CapturedDebugOutput() { wincompat::SetDebugOutputSink({}); }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> guard(lock_);
        return lines_;
    }

private:
    std::mutex lock_;
    std::vector<std::string> lines_;
};

TEST(OutputDebugString, DeliversWideAndNarrowTextAsUtf8) {
    CapturedDebugOutput capture;
    OutputDebugStringW(u"Stra\u00dfe \u20ac\n");
    OutputDebugStringA("plain\n");
    OutputDebugStringW(nullptr);
    OutputDebugStringA(nullptr);
    std::vector<std::string> expected{"Stra\xC3\x9F" "e \xE2\x82\xAC\n", "plain\n"};
    EXPECT_EQ(expected, capture.Lines());
}

TEST(OutputDebugString, KeepsTheCallersLastError) {
    CapturedDebugOutput capture;
    SetLastError(1234);
    OutputDebugStringW(u"x");
    EXPECT_EQ(1234u, GetLastError());
}

TEST(OutputDebugString, DefaultSinkIsSilentAndRestorable) {
    {
        CapturedDebugOutput capture;
    }
    OutputDebugStringW(u"goes nowhere by default\n");  // must not crash with the capture gone
    CapturedDebugOutput again;
    OutputDebugStringW(u"seen");
    EXPECT_EQ(std::vector<std::string>{"seen"}, again.Lines());
}

TEST(OutputDebugStringThreads, ConcurrentWritersLoseNothing) {
    CapturedDebugOutput capture;
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([] {
            for (int i = 0; i < 200; ++i) OutputDebugStringW(u"line\n");
        });
    for (auto& w : writers) w.join();
    EXPECT_EQ(800u, capture.Lines().size());
}

}  // namespace
