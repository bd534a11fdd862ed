// Several threads tracing at once: every mailslot header is followed by its own
// text and carries a sequence number of its own; every file line is whole.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TraceLog.h"
#include "TraceTestSupport.h"

namespace {

TEST(TraceConcurrency, MailslotRecordsNeverInterleaveAndFileLinesStayWhole) {
    quillet::ResetTrace();
    quillet_test::TempFolder folder;
    quillet_test::MailslotReader viewer(folder, 1000);
    ASSERT_TRUE(viewer.Open());
    quillet::TraceConfiguration configuration;
    configuration.mailslot = true;
    configuration.baseName = folder.File("concurrent");
    configuration.rotateSize = 1u << 30;
    ASSERT_TRUE(quillet::ConfigureTrace(configuration));

    constexpr int kThreads = 4;
    constexpr int kRecords = 100;
    std::vector<std::string> messages;
    std::atomic<bool> writersDone{false};
    std::thread reader([&] {
        for (;;) {
            auto message = viewer.Next();
            if (!message) {
                if (writersDone) return;
                continue;
            }
            messages.push_back(*message);
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < kRecords; ++i) quillet::TraceInfo(5, "thread %d record %d", t, i);
        });
    for (auto& w : writers) w.join();
    writersDone = true;
    reader.join();
    quillet::ResetTrace();

    // The viewer may lose messages when its queue stays full, but what arrives
    // comes in pairs: a header, then the text whose length it announces.
    ASSERT_FALSE(messages.empty());
    ASSERT_EQ(messages.size() % 2, 0u);
    std::set<DWORD> sequences;
    DWORD previous = 0;
    for (size_t i = 0; i < messages.size(); i += 2) {
        ASSERT_EQ(messages[i].size(), quillet::kTraceMailslotHeaderSize) << "message " << i << " is no header";
        quillet_test::MailslotHeader header = quillet_test::ParseHeader(messages[i]);
        EXPECT_EQ(header.length, messages[i + 1].size());
        EXPECT_NE(messages[i + 1].find(" record "), std::string::npos);
        EXPECT_GT(header.sequence, previous) << "sequence numbers rise and are never shared";
        previous = header.sequence;
        sequences.insert(header.sequence);
    }
    EXPECT_EQ(sequences.size(), messages.size() / 2);

    std::istringstream file(quillet_test::ReadFile(folder.File("concurrent.log")));
    std::regex line(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d:\tI\t#\d{5,}\t\?\?\?     \tthread \d record \d+\r)");
    std::set<std::string> seen;
    std::string text;
    int count = 0;
    while (std::getline(file, text)) {
        ++count;
        EXPECT_TRUE(std::regex_match(text, line)) << text;
        seen.insert(text.substr(text.find("thread")));
    }
    EXPECT_EQ(count, kThreads * kRecords);
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kRecords));
}

}  // namespace
