// Debugger output reaches the installed sink as UTF-8, from any thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "wincompat/DebugOutput.h"

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

TEST(DebugOutput, DeliversWideAndNarrowTextAsUtf8) {
    CapturedDebugOutput capture;
    OutputDebugStringW(u"Stra\u00dfe \u20ac\n");
    OutputDebugStringA("plain\n");
    OutputDebugStringW(nullptr);
    OutputDebugStringA(nullptr);
    std::vector<std::string> expected{
        "Stra\xC3\x9F"
        "e \xE2\x82\xAC\n",
        "plain\n"};
    EXPECT_EQ(expected, capture.Lines());
}

TEST(DebugOutput, KeepsTheCallersLastError) {
    CapturedDebugOutput capture;
    SetLastError(1234);
    OutputDebugStringW(u"x");
    EXPECT_EQ(1234u, GetLastError());
}

TEST(DebugOutput, DefaultSinkIsSilentAndRestorable) {
    { CapturedDebugOutput capture; }
    OutputDebugStringW(u"goes nowhere by default\n");  // must not crash with the capture gone
    CapturedDebugOutput again;
    OutputDebugStringW(u"seen");
    EXPECT_EQ(std::vector<std::string>{"seen"}, again.Lines());
}

// The variable is read once per process, so each case runs in a fresh child process.
TEST(DebugOutput, EnvironmentSendsTextToAFileOrStandardError) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child process runs this test body again, so the path must not depend on the process.
    std::string path = ::testing::TempDir() + "wincompat_debug_output_test.txt";
    remove(path.c_str());
    EXPECT_EXIT(
        {
            setenv("WINCOMPAT_DEBUG_OUTPUT", path.c_str(), 1);
            OutputDebugStringW(u"first line\n");
            OutputDebugStringA("second line\n");
            exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    std::ifstream file(path);
    std::stringstream contents;
    contents << file.rdbuf();
    EXPECT_EQ("first line\nsecond line\n", contents.str());
    remove(path.c_str());

    EXPECT_EXIT(
        {
            setenv("WINCOMPAT_DEBUG_OUTPUT", "stderr", 1);
            OutputDebugStringW(u"to standard error");
            exit(0);
        },
        ::testing::ExitedWithCode(0), "to standard error");
}

TEST(DebugOutputThreads, ConcurrentWritersLoseNothing) {
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
