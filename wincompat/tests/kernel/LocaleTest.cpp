// Thread locale and the default locales.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

TEST(Locale, DefaultsAreEnglishUnitedStates) {
    EXPECT_EQ(0x409u, GetSystemDefaultLCID());
    EXPECT_EQ(0x409u, GetUserDefaultLCID());
}

TEST(LocaleThread, EachThreadHasItsOwnLocale) {
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    const LCID locales[] = {0x407, 0x40C, 0x809, 0x411};
    for (LCID lcid : locales)
        threads.emplace_back([lcid, &wrong] {
            if (GetThreadLocale() != 0x409u) ++wrong;  // a new thread starts with the default
            if (!SetThreadLocale(lcid)) ++wrong;
            for (int i = 0; i < 1000; ++i)
                if (GetThreadLocale() != lcid) ++wrong;
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(0, wrong.load());
    EXPECT_EQ(0x409u, GetThreadLocale());
}

TEST(LocaleThread, DefaultAliasesResolveAndUnknownLocalesAreRefused) {
    std::thread([] {
        EXPECT_TRUE(SetThreadLocale(0x407));
        EXPECT_TRUE(SetThreadLocale(LOCALE_SYSTEM_DEFAULT));
        EXPECT_EQ(0x409u, GetThreadLocale());
        SetLastError(0);
        EXPECT_FALSE(SetThreadLocale(0x12345));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
        EXPECT_EQ(0x409u, GetThreadLocale());
    }).join();
}

TEST(LastErrorThread, EachThreadKeepsItsOwnLastError) {
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (DWORD code = 1; code <= 4; ++code)
        threads.emplace_back([code, &wrong] {
            for (int i = 0; i < 1000; ++i) {
                SetLastError(code * 1000 + static_cast<DWORD>(i));
                std::this_thread::yield();
                if (GetLastError() != code * 1000 + static_cast<DWORD>(i)) ++wrong;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(0, wrong.load());
}

TEST(ThreadIdThread, DiffersBetweenThreadsAndIsStableWithinOne) {
    DWORD main = GetCurrentThreadId();
    EXPECT_EQ(main, GetCurrentThreadId());
    DWORD other = 0;
    std::thread([&other] { other = GetCurrentThreadId(); }).join();
    EXPECT_NE(main, other);
    EXPECT_NE(0u, other);
}

}  // namespace
