// Files through the Win32 calls: creation dispositions, positions, sharing of
// the end-of-file position, deletion and renaming, bad handles and bad input.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <string>

#include "support/TempFolder.h"

namespace {

using wincompat_test::ReadText;
using wincompat_test::TempFolder;

BOOL WriteText(HANDLE file, const std::string& text) {
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return ok && written == text.size();
}

class FileTest : public ::testing::Test {
protected:
    TempFolder folder;
};

TEST_F(FileTest, CreateAlwaysTruncatesAndReportsExistingFile) {
    std::string path = folder.File("a.log");
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(WriteText(file, "first text"));
    ASSERT_TRUE(CloseHandle(file));

    file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(GetFileSize(file, nullptr), 0u);
    ASSERT_TRUE(WriteText(file, "second"));
    CloseHandle(file);
    EXPECT_EQ(ReadText(path), "second");
}

TEST_F(FileTest, DispositionsFailAsWindowsDoes) {
    std::string path = folder.File("missing.txt");
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

    file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, 77, 0, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    file = CreateFileA(folder.File("no/such/dir.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);

    EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(FileTest, OpenAlwaysKeepsContentAndSeekToEndAppends) {
    std::string path = folder.File("b.log");
    {
        std::ofstream out(path, std::ios::binary);
        out << "0123456789";
    }
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_END), 10u);
    ASSERT_TRUE(WriteText(file, "ab"));
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 12u);
    EXPECT_EQ(SetFilePointer(file, 2, nullptr, FILE_BEGIN), 2u);
    ASSERT_TRUE(WriteText(file, "X"));
    EXPECT_EQ(SetFilePointer(file, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), 131u /* ERROR_NEGATIVE_SEEK */);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, 9), INVALID_SET_FILE_POINTER);
    CloseHandle(file);
    EXPECT_EQ(ReadText(path), "01X3456789ab");
}

TEST_F(FileTest, ReadsBackAndHonoursAccessRights) {
    std::string path = folder.File("c.txt");
    HANDLE writer = CreateFileW(std::u16string(path.begin(), path.end()).c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(WriteText(writer, "hello"));
    char buffer[16] = {};
    DWORD read = 99;
    EXPECT_FALSE(ReadFile(writer, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(read, 0u);
    CloseHandle(writer);

    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(ReadFile(reader, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), "hello");
    ASSERT_TRUE(ReadFile(reader, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(read, 0u) << "end of file reads zero bytes";
    EXPECT_FALSE(WriteFile(reader, "x", 1, &read, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    OVERLAPPED overlapped{};
    EXPECT_FALSE(ReadFile(reader, buffer, sizeof buffer, &read, &overlapped));
    CloseHandle(reader);
}

TEST_F(FileTest, StaleAndForeignHandlesAreRefused) {
    std::string path = folder.File("d.txt");
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(file));
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(file, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(WriteFile(INVALID_HANDLE_VALUE, "x", 1, &written, nullptr));
    EXPECT_FALSE(WriteFile(nullptr, "x", 1, &written, nullptr));
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetFileSize(nullptr, nullptr), INVALID_FILE_SIZE);
    EXPECT_FALSE(CloseHandle(file));

    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    EXPECT_FALSE(WriteFile(mutex, "x", 1, &written, nullptr)) << "a mutex is no file";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseHandle(mutex);
}

TEST_F(FileTest, DeleteAndMoveFollowWindowsRules) {
    std::string current = folder.File("trace.log");
    std::string backup = folder.File("trace_backup.log");
    EXPECT_FALSE(DeleteFileA(backup.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    { std::ofstream(current) << "one"; }
    { std::ofstream(backup) << "old"; }
    EXPECT_FALSE(MoveFileA(current.c_str(), backup.c_str())) << "MoveFile never replaces";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(DeleteFileA(backup.c_str()));
    EXPECT_TRUE(MoveFileA(current.c_str(), backup.c_str()));
    EXPECT_EQ(ReadText(backup), "one");
    EXPECT_FALSE(MoveFileA(current.c_str(), backup.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    std::u16string wide(backup.begin(), backup.end());
    EXPECT_TRUE(DeleteFileW(wide.c_str()));
    EXPECT_FALSE(DeleteFileA(nullptr));
    EXPECT_FALSE(DeleteFileA(folder.File("").c_str())) << "a folder is not deleted as a file";
}

TEST_F(FileTest, BackslashesSeparatePathComponents) {
    std::string path = folder.File("sub");
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    std::string windowsStyle = path + "\\inner.txt";
    HANDLE file = CreateFileA(windowsStyle.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(access((path + "/inner.txt").c_str(), F_OK), 0);
}

}  // namespace
