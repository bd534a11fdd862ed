// Kernel mutexes: ownership, recursion, timeouts, names, abandonment.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

TEST(MutexTest, OwnerMayAcquireAgainAndMustReleaseEachTime) {
    HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    std::thread other([&] { EXPECT_EQ(WaitForSingleObject(mutex, 20), static_cast<DWORD>(WAIT_TIMEOUT)); });
    other.join();
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex)) << "released more often than acquired";
    EXPECT_EQ(GetLastError(), 288u /* ERROR_NOT_OWNER */);
    std::thread after([&] {
        EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
        EXPECT_TRUE(ReleaseMutex(mutex));
    });
    after.join();
    CloseHandle(mutex);
}

TEST(MutexTest, OnlyTheOwnerReleases) {
    HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
    std::thread stranger([&] { EXPECT_FALSE(ReleaseMutex(mutex)); });
    stranger.join();
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST(MutexTest, KeepsCountersConsistentUnderContention) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                ASSERT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
                long seen = counter;
                counter = seen + 1;
                ReleaseMutex(mutex);
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 8000);
    CloseHandle(mutex);
}

TEST(MutexTest, NamedMutexIsSharedAndOpenable) {
    HANDLE first = CreateMutexW(nullptr, TRUE, u"wincompat-test-named");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE second = CreateMutexA(nullptr, TRUE, "wincompat-test-named");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    HANDLE opened = OpenMutexW(SYNCHRONIZE, FALSE, u"wincompat-test-named");
    ASSERT_NE(opened, nullptr);
    std::thread other([&] { EXPECT_EQ(WaitForSingleObject(opened, 10), static_cast<DWORD>(WAIT_TIMEOUT)); });
    other.join();
    EXPECT_TRUE(ReleaseMutex(second)) << "same mutex, initial ownership taken once";
    EXPECT_FALSE(ReleaseMutex(first));
    CloseHandle(first);
    CloseHandle(second);
    CloseHandle(opened);
    EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, u"wincompat-test-named"), nullptr) << "gone with its last handle";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(MutexTest, OwnerThreadEndingAbandonsTheMutex) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    std::thread owner([&] { EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0); });
    owner.join();
    EXPECT_EQ(WaitForSingleObject(mutex, 1000), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "abandonment is reported once";
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

TEST(MutexTest, WaitingOnWhatIsNoMutexFails) {
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(WaitForSingleObject(INVALID_HANDLE_VALUE, INFINITE), WAIT_FAILED);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    CloseHandle(mutex);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_FAILED);
    EXPECT_FALSE(ReleaseMutex(mutex));
}

}  // namespace
