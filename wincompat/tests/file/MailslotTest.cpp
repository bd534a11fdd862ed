// Mailslots: a writer needs a reader, every write is one message, a writer
// never waits for long, names are case-insensitive.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "support/TempFolder.h"

namespace {

class MailslotTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("WINCOMPAT_MAILSLOT_DIR", folder_.path().c_str(), 1); }
    void TearDown() override { unsetenv("WINCOMPAT_MAILSLOT_DIR"); }
    static HANDLE OpenWriter(const char16_t* name) {
        return CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    }
    wincompat_test::TempFolder folder_{"wcms"};
};

std::string ReadMessage(HANDLE reader) {
    char buffer[512];
    DWORD read = 0;
    if (!ReadFile(reader, buffer, sizeof buffer, &read, nullptr)) return "<failed>";
    return std::string(buffer, read);
}

TEST_F(MailslotTest, WriterWithoutReaderFailsQuietly) {
    HANDLE writer = OpenWriter(u"\\\\.\\mailslot\\NobodyListens");
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(MailslotTest, EachWriteArrivesAsOneMessageInOrder) {
    HANDLE reader = CreateMailslotW(u"\\\\.\\mailslot\\OMBRATrace", 0, 1000, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    HANDLE writer = OpenWriter(u"\\\\.\\MAILSLOT\\ombratrace");
    ASSERT_NE(writer, INVALID_HANDLE_VALUE) << "names compare case-insensitively";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(writer, "header", 6, &written, nullptr));
    EXPECT_EQ(written, 6u);
    ASSERT_TRUE(WriteFile(writer, "text\0", 5, &written, nullptr));
    EXPECT_EQ(ReadMessage(reader), "header");
    EXPECT_EQ(ReadMessage(reader), std::string("text\0", 5));
    char buffer[8];
    DWORD read = 0;
    EXPECT_FALSE(ReadFile(writer, buffer, sizeof buffer, &read, nullptr)) << "the writing end does not read";
    EXPECT_FALSE(WriteFile(reader, "x", 1, &written, nullptr)) << "the reading end does not write";
    CloseHandle(writer);
    CloseHandle(reader);
}

TEST_F(MailslotTest, ReadTimesOutAndSmallBufferKeepsTheMessage) {
    HANDLE reader = CreateMailslotA("\\\\.\\mailslot\\slow", 0, 30, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    char buffer[4];
    DWORD read = 0;
    EXPECT_FALSE(ReadFile(reader, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(GetLastError(), 121u /* ERROR_SEM_TIMEOUT */);

    HANDLE writer = OpenWriter(u"\\\\.\\mailslot\\slow");
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(writer, "longer than four", 16, &written, nullptr));
    EXPECT_FALSE(ReadFile(reader, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(ReadMessage(reader), "longer than four");
    CloseHandle(writer);
    CloseHandle(reader);
}

TEST_F(MailslotTest, FullQueueFailsTheWriteWithoutStallingIt) {
    HANDLE reader = CreateMailslotW(u"\\\\.\\mailslot\\full", 0, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    HANDLE writer = OpenWriter(u"\\\\.\\mailslot\\full");
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    auto start = std::chrono::steady_clock::now();
    int failures = 0;
    for (int i = 0; i < 2000 && failures == 0; ++i) {
        DWORD written = 0;
        if (!WriteFile(writer, "message", 7, &written, nullptr)) ++failures;
    }
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(failures, 1) << "an unread queue fills up";
    EXPECT_LT(elapsed, std::chrono::seconds(2)) << "a writer never waits for the reader";
    EXPECT_EQ(ReadMessage(reader), "message");
    CloseHandle(writer);
    CloseHandle(reader);
}

TEST_F(MailslotTest, SecondReaderIsRefusedAndWritersFailAfterReaderCloses) {
    HANDLE reader = CreateMailslotW(u"\\\\.\\mailslot\\one", 0, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateMailslotW(u"\\\\.\\mailslot\\ONE", 0, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    HANDLE writer = OpenWriter(u"\\\\.\\mailslot\\one");
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    CloseHandle(reader);
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(writer, "late", 4, &written, nullptr));
    CloseHandle(writer);
    EXPECT_EQ(OpenWriter(u"\\\\.\\mailslot\\one"), INVALID_HANDLE_VALUE);
    HANDLE again = CreateMailslotW(u"\\\\.\\mailslot\\one", 0, 0, nullptr);
    EXPECT_NE(again, INVALID_HANDLE_VALUE) << "the name is free again";
    CloseHandle(again);
}

TEST_F(MailslotTest, BadNamesAreRefused) {
    EXPECT_EQ(CreateMailslotW(u"\\\\.\\pipe\\x", 0, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateMailslotW(nullptr, 0, 0, nullptr), INVALID_HANDLE_VALUE);
    std::u16string tooLong = u"\\\\.\\mailslot\\" + std::u16string(300, u'x');
    EXPECT_EQ(CreateMailslotW(tooLong.c_str(), 0, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenWriter(tooLong.c_str()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileW(u"\\\\.\\mailslot\\x", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
}

}  // namespace
