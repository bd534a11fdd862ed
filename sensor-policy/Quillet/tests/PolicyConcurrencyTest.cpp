// Several host threads calling ProcessPolicy at once on one object, with
// tracing on: every call gets the whole, correct answer.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "QuilletTestSupport.h"

namespace {

using comsupport::Bstr;

TEST(QuilletConcurrency, OneObjectServesSeveralThreadsAtOnce) {
    quillet_test::TestDatabase database;
    database.Exec(
        "INSERT INTO ZELKScanBlacklist (MACorOUI) VALUES ('00:11:22:33:44:55'), ('00:A0:C9');"
        "INSERT INTO ZELKDetectedSystemProperties (MAC, Exception) VALUES ('AABBCCDDEEFF', 1);");
    quillet_test::TraceCapture trace;
    auto handler = quillet_test::ActivateQuillet();
    const std::string expected =
        "<Setting name=\"ScanBlacklist\">00:11:22:33:44:55|00:A0:C9</Setting>"
        "<Setting name=\"ExceptionScanBlacklist\">AABBCCDDEEFF</Setting>";
    const Bstr edits = Bstr::FromUtf8(
        "<P><Section name=\"Detection\"><Setting name=\"SubnetScanEnabled\">1</Setting>"
        "<Setting name=\"OSFingerprintingEnabled\">1</Setting>"
        "<Setting name=\"ScanSystemsMarkedAsException\">0</Setting></Section></P>");
    const Bstr declines = Bstr::FromUtf8("<P><Section name=\"Other\"/></P>");

    constexpr int kThreads = 6;
    constexpr int kCalls = 20;
    std::atomic<int> edited{0}, declined{0}, wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            {
                // Each host thread brings its own connection, as the host does per call.
                auto connection = database.Connect();
                for (int i = 0; i < kCalls; ++i) {
                    bool edit = (i + t) % 2 == 0;
                    BSTR out = nullptr;
                    HRESULT hr = handler->ProcessPolicy(connection.Get(), t, nullptr, nullptr, nullptr,
                                                        edit ? edits.Get() : declines.Get(), &out);
                    Bstr owned = Bstr::Attach(out);
                    if (edit && hr == S_OK && owned.Utf8().find(expected) != std::string::npos)
                        ++edited;
                    else if (!edit && hr == S_FALSE && out == nullptr)
                        ++declined;
                    else
                        ++wrong;
                }
            }
            if (SUCCEEDED(init)) CoUninitialize();
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(edited.load(), kThreads * kCalls / 2);
    EXPECT_EQ(declined.load(), kThreads * kCalls / 2);
    auto records = trace.Records();
    EXPECT_EQ(records.size(), static_cast<size_t>(kThreads * kCalls / 2)) << "one whole record per declined call";
    for (const auto& record : records) EXPECT_EQ(record.text, "Unble to load Detection section");
}

}  // namespace
