// The trace facility: silent at load; formats, filters, line splitting, the
// mailslot header, the file sink with its rotation, and bad configurations.
#include "TraceLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "TraceTestSupport.h"

namespace {

using quillet::TraceConfiguration;
using quillet::TraceError;
using quillet::TraceInfo;

class TraceLogTest : public ::testing::Test {
protected:
    void SetUp() override { quillet::ResetTrace(); }
    void TearDown() override { quillet::ResetTrace(); }

    TraceConfiguration ConsoleOnly() {
        TraceConfiguration configuration;
        configuration.console = true;
        return configuration;
    }

    quillet_test::TempFolder folder_;
};

TEST_F(TraceLogTest, AtLoadNothingReachesAnySink) {
    quillet_test::MailslotReader viewer(folder_);
    testing::internal::CaptureStdout();
    for (LONG level = -1; level <= 9; ++level) EXPECT_TRUE(quillet::IsTraceSuppressed(5, level));
    TraceError(5, "QuilletObj::ProcessPolicy: hr=0x%08X, %s", 0x80004003u, "text");
    TraceInfo(5, "Unable to find Policy Settings for scanning...");
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(viewer.Next().has_value());
}

TEST_F(TraceLogTest, ConsoleLineHasTimestampTagThreadModuleAndText) {
    ASSERT_TRUE(quillet::ConfigureTrace(ConsoleOnly()));
    testing::internal::CaptureStdout();
    TraceError(5, "QuilletObj::ProcessPolicy: hr=0x%08X, %s", 0x80004003u, "Invalid pointer");
    fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    std::regex line(
        R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d: E +(\d+) \?\?\?      QuilletObj::ProcessPolicy: hr=0x80004003, Invalid pointer\n)");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(out, match, line)) << out;
    EXPECT_EQ(std::stoul(match[1]), GetCurrentThreadId());
}

TEST_F(TraceLogTest, MillisecondsAndRegisteredModuleName) {
    TraceConfiguration configuration = ConsoleOnly();
    configuration.milliseconds = true;
    configuration.modules[5] = {"Quillet", 7};
    configuration.modules[6] = {"AVeryLongModuleName", 7};
    ASSERT_TRUE(quillet::ConfigureTrace(configuration));
    testing::internal::CaptureStdout();
    TraceInfo(5, "one");
    TraceInfo(6, "two");
    fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    std::regex lines(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d:\d{3} I +\d+ Quillet  one\n)"
                     R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d:\d{3} I +\d+ AVeryLongModuleName two\n)");
    EXPECT_TRUE(std::regex_match(out, lines)) << "names are padded to eight and never cut:\n" << out;
    EXPECT_EQ(quillet::TraceModuleName(5), "Quillet");
    EXPECT_EQ(quillet::TraceModuleName(42), "???");
}

TEST_F(TraceLogTest, UnregisteredModulesUseTheDefaultThresholdRegisteredOnesTheirOwn) {
    TraceConfiguration configuration = ConsoleOnly();
    configuration.modules[3] = {"three", 3};
    ASSERT_TRUE(quillet::ConfigureTrace(configuration));
    for (LONG level = 1; level <= 7; ++level) EXPECT_FALSE(quillet::IsTraceSuppressed(5, level)) << level;
    EXPECT_TRUE(quillet::IsTraceSuppressed(5, 8));
    EXPECT_FALSE(quillet::IsTraceSuppressed(3, 3));
    EXPECT_TRUE(quillet::IsTraceSuppressed(3, 4));
    EXPECT_TRUE(quillet::IsTraceSuppressed(3, 5)) << "an error above the module's own level is filtered";

    testing::internal::CaptureStdout();
    TraceInfo(3, "filtered");
    TraceError(3, "filtered too");
    TraceInfo(4, "passes");
    fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("filtered"), std::string::npos);
    EXPECT_NE(out.find("passes"), std::string::npos);

    configuration.defaultLevel = 5;
    ASSERT_TRUE(quillet::ConfigureTrace(configuration));
    EXPECT_FALSE(quillet::IsTraceSuppressed(9, 5));
    EXPECT_TRUE(quillet::IsTraceSuppressed(9, 7));
}

TEST_F(TraceLogTest, LevelsPrintTheirTagsAndUnknownLevelsAQuestionMark) {
    EXPECT_EQ(std::string({quillet::TraceLevelTag(1), quillet::TraceLevelTag(2), quillet::TraceLevelTag(3),
                           quillet::TraceLevelTag(4), quillet::TraceLevelTag(5), quillet::TraceLevelTag(6),
                           quillet::TraceLevelTag(7), quillet::TraceLevelTag(8)}),
              "ewixEWIX");
    EXPECT_EQ(quillet::TraceLevelTag(0), '?');
    EXPECT_EQ(quillet::TraceLevelTag(9), '?');
    EXPECT_EQ(quillet::TraceLevelTag(-5), '?');
    ASSERT_TRUE(quillet::ConfigureTrace(ConsoleOnly()));
    testing::internal::CaptureStdout();
    quillet_test::Message(0, 5, "level zero");
    fflush(stdout);
    EXPECT_NE(testing::internal::GetCapturedStdout().find(": ? "), std::string::npos);
}

TEST_F(TraceLogTest, LineFeedsSplitRecordsAndEmptyLinesAreDropped) {
    ASSERT_TRUE(quillet::ConfigureTrace(ConsoleOnly()));
    testing::internal::CaptureStdout();
    TraceInfo(5, "first\n\nsecond\r\nthird\n");
    fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    std::regex record(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d: I +\d+ \?\?\?      ([^\n]*)\n)");
    std::vector<std::string> texts;
    for (std::sregex_iterator it(out.begin(), out.end(), record), end; it != end; ++it) texts.push_back((*it)[1]);
    EXPECT_EQ(texts, (std::vector<std::string>{"first", "second\r", "third"}));

    char text[] = "a\nb";
    testing::internal::CaptureStdout();
    quillet::TraceLines(7, 5, text);
    fflush(stdout);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3);
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2);
    EXPECT_STREQ(text, "a\nb") << "the caller's text is restored";
}

TEST_F(TraceLogTest, LongMessagesAreCutAtTheBoundAndNullFormatsPrintQuestionMarks) {
    ASSERT_TRUE(quillet::ConfigureTrace(ConsoleOnly()));
    std::string huge(5000, 'x');
    testing::internal::CaptureStdout();
    TraceInfo(5, "%s", huge.c_str());
    TraceInfo(5, nullptr);
    fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    std::istringstream lines(out);
    std::string first, second;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_EQ(first.size() - first.find("xxx"), 4096u);
    EXPECT_EQ(second.substr(second.size() - 4), " ???");
}

TEST_F(TraceLogTest, MailslotGetsHeaderThenTextWithItsNul) {
    quillet_test::MailslotReader viewer(folder_);
    TraceConfiguration configuration;
    configuration.mailslot = true;
    ASSERT_TRUE(quillet::ConfigureTrace(configuration));
    TraceError(5, "Unble to load Detection section");
    TraceInfo(5, "second");

    for (DWORD sequence = 1; sequence <= 2; ++sequence) {
        auto header = viewer.Next();
        ASSERT_TRUE(header.has_value());
        ASSERT_EQ(header->size(), quillet::kTraceMailslotHeaderSize);
        quillet_test::MailslotHeader fields = quillet_test::ParseHeader(*header);
        EXPECT_EQ(fields.sequence, sequence);
        EXPECT_EQ(fields.one, 1u);
        EXPECT_EQ(fields.alsoOne, 1u);
        auto text = viewer.Next();
        ASSERT_TRUE(text.has_value());
        ASSERT_EQ(fields.length, text->size());
        EXPECT_EQ(text->back(), '\0');
        std::regex format(sequence == 1
                              ? R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d: E +\d+ \?\?\?      Unble to load Detection section)"
                              : R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d: I +\d+ \?\?\?      second)");
        EXPECT_TRUE(std::regex_match(text->substr(0, text->size() - 1), format)) << *text;
    }
}

TEST_F(TraceLogTest, OverlongMailslotTextIsSkippedWithoutUsingASequenceNumber) {
    quillet_test::MailslotReader viewer(folder_);
    TraceConfiguration configuration;
    configuration.mailslot = true;
    configuration.console = true;
    configuration.baseName = folder_.File("trace");
    configuration.rotateSize = 1 << 20;
    ASSERT_TRUE(quillet::ConfigureTrace(configuration));
    std::string longText(380, 'L');
    testing::internal::CaptureStdout();
    TraceInfo(5, "short one");
    TraceInfo(5, "%s", longText.c_str());
    TraceInfo(5, "short two");
    fflush(stdout);
    std::string console = testing::internal::GetCapturedStdout();

    std::vector<std::string> texts;
    std::vector<DWORD> sequences;
    while (auto header = viewer.Next()) {
        sequences.push_back(quillet_test::ParseHeader(*header).sequence);
        auto text = viewer.Next();
        ASSERT_TRUE(text.has_value());
        texts.push_back(*text);
    }
    ASSERT_EQ(sequences, (std::vector<DWORD>{1, 2}));
    EXPECT_NE(texts[1].find("short two"), std::string::npos);
    EXPECT_NE(console.find(longText), std::string::npos) << "still on the console";
    EXPECT_NE(quillet_test::ReadFile(folder_.File("trace.log")).find(longText), std::string::npos)
        << "still in the file";
}

TEST_F(TraceLogTest, FileLinesUseTabsAndCarriageReturnLineFeed) {
    TraceConfiguration configuration;
    configuration.baseName = folder_.File("trace");
    configuration.rotateSize = 1 << 20;
    configuration.modules[5] = {"Quillet", 7};
    ASSERT_TRUE(quillet::ConfigureTrace(configuration));
    TraceError(5, "Unble to load root document element");
    TraceInfo(5, "Scan items in the Exception list is set, do not add exceptions to the scan blacklist");
    std::string content = quillet_test::ReadFile(folder_.File("trace.log"));
    std::regex lines(
        R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d:\tE\t#\d{5,}\tQuillet \tUnble to load root document element\r\n)"
        R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d:\tI\t#\d{5,}\tQuillet \tScan items in the Exception list is set, do not add exceptions to the scan blacklist\r\n)");
    EXPECT_TRUE(std::regex_match(content, lines)) << content;
}

TEST_F(TraceLogTest, RotationKeepsTheRecordThatReachedTheLimitInTheBackup) {
    TraceConfiguration configuration;
    configuration.baseName = folder_.File("trace");
    configuration.rotateSize = 100;
    ASSERT_TRUE(quillet::ConfigureTrace(configuration));
    TraceInfo(5, "record one");  // about 50 bytes: below the limit
    EXPECT_TRUE(quillet_test::ReadFile(folder_.File("trace_backup.log")).empty());
    TraceInfo(5, "record two");  // reaches the limit: rotated after the write
    EXPECT_EQ(quillet_test::ReadFile(folder_.File("trace.log")), "");
    std::string backup = quillet_test::ReadFile(folder_.File("trace_backup.log"));
    EXPECT_NE(backup.find("record one"), std::string::npos);
    ASSERT_NE(backup.find("record two\r\n"), std::string::npos);
    EXPECT_EQ(backup.substr(backup.size() - 12), "record two\r\n") << "the last record of the backup";
    TraceInfo(5, "record three");
    EXPECT_NE(quillet_test::ReadFile(folder_.File("trace.log")).find("record three"), std::string::npos);
    TraceInfo(5, "record four");
    backup = quillet_test::ReadFile(folder_.File("trace_backup.log"));
    EXPECT_EQ(backup.find("record one"), std::string::npos) << "only one older generation survives";
    EXPECT_NE(backup.find("record four"), std::string::npos);
}

TEST_F(TraceLogTest, LoadTimeRotateSizeOfTenBytesRotatesAfterEveryRecord) {
    TraceConfiguration configuration;
    configuration.baseName = folder_.File("tiny");
    ASSERT_TRUE(quillet::ConfigureTrace(configuration));
    TraceInfo(5, "alpha");
    TraceInfo(5, "beta");
    EXPECT_EQ(quillet_test::ReadFile(folder_.File("tiny.log")), "");
    std::string backup = quillet_test::ReadFile(folder_.File("tiny_backup.log"));
    EXPECT_EQ(backup.find("alpha"), std::string::npos);
    EXPECT_NE(backup.find("beta"), std::string::npos);
}

TEST_F(TraceLogTest, OverlongFileLineIsDroppedFromTheFileOnly) {
    TraceConfiguration configuration = ConsoleOnly();
    configuration.baseName = folder_.File("trace");
    configuration.rotateSize = 1 << 20;
    ASSERT_TRUE(quillet::ConfigureTrace(configuration));
    std::string text(4080, 'F');
    testing::internal::CaptureStdout();
    TraceInfo(5, "%s", text.c_str());
    TraceInfo(5, "after");
    fflush(stdout);
    std::string console = testing::internal::GetCapturedStdout();
    std::string file = quillet_test::ReadFile(folder_.File("trace.log"));
    EXPECT_NE(console.find(text), std::string::npos);
    EXPECT_EQ(file.find("FFFF"), std::string::npos);
    EXPECT_NE(file.find("after"), std::string::npos);
}

TEST_F(TraceLogTest, BadConfigurationsLeaveTracingOff) {
    TraceConfiguration configuration = ConsoleOnly();
    configuration.baseName = std::string(255, 'n');
    EXPECT_FALSE(quillet::ConfigureTrace(configuration)) << "no room for \"_backup.log\"";
    EXPECT_TRUE(quillet::IsTraceSuppressed(5, 1));

    configuration.baseName = folder_.File("missing/folder/trace");
    EXPECT_FALSE(quillet::ConfigureTrace(configuration));
    testing::internal::CaptureStdout();
    TraceError(5, "must not appear");
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    EXPECT_TRUE(quillet::ConfigureTrace(ConsoleOnly())) << "a good configuration works afterwards";
}

TEST_F(TraceLogTest, ResetRestoresTheLoadTimeState) {
    quillet_test::MailslotReader viewer(folder_);
    TraceConfiguration configuration = ConsoleOnly();
    configuration.mailslot = true;
    configuration.baseName = folder_.File("trace");
    ASSERT_TRUE(quillet::ConfigureTrace(configuration));
    quillet::ResetTrace();
    testing::internal::CaptureStdout();
    TraceError(5, "after reset");
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(viewer.Next().has_value());
    EXPECT_EQ(quillet_test::ReadFile(folder_.File("trace.log")), "");
}

}  // namespace
