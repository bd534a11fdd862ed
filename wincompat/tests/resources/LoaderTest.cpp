// The module loader and resource look-ups: the system DLL names that wincompat answers to, the
// program's own module, missing modules, and modules without resources.
#include <windows.h>

#include <gtest/gtest.h>
#include <limits.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

TEST(ModuleLoader, SystemLibrariesNameWincompat) {
    HMODULE oleaut = GetModuleHandleW(u"OLEAUT32.DLL");
    ASSERT_NE(oleaut, nullptr);
    EXPECT_EQ(GetModuleHandleW(u"ole32"), oleaut);
    EXPECT_EQ(LoadLibraryW(u"Advapi32.dll"), oleaut);
    EXPECT_TRUE(FreeLibrary(oleaut));
    // The per-user type-library functions are found by name, as the servers look them up.
    FARPROC proc = GetProcAddress(oleaut, "RegisterTypeLibForUser");
    ASSERT_NE(proc, nullptr);
    void* expected = reinterpret_cast<void*>(&RegisterTypeLibForUser);
    void* found = nullptr;
    memcpy(&found, &proc, sizeof found);
    EXPECT_EQ(found, expected);
    EXPECT_EQ(GetProcAddress(oleaut, "NoSuchFunction"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(oleaut, reinterpret_cast<LPCSTR>(12)), nullptr);  // no ordinals

    HMODULE fromAddress = nullptr;
    ASSERT_TRUE(
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(expected), &fromAddress));
    EXPECT_EQ(fromAddress, oleaut);
}

TEST(ModuleLoader, ProgramAndMissingModules) {
    HMODULE program = GetModuleHandleW(nullptr);
    ASSERT_NE(program, nullptr);
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    WCHAR path[PATH_MAX];
    DWORD length = GetModuleFileNameW(nullptr, path, PATH_MAX);
    EXPECT_EQ(std::u16string(path, length), Wide(std::string(self, static_cast<size_t>(n))));
    EXPECT_EQ(GetModuleFileNameW(program, path, PATH_MAX), length);
    HMODULE fromAddress = nullptr;
    ASSERT_TRUE(
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&Wide), &fromAddress));
    EXPECT_EQ(fromAddress, program);

    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(u"/nonexistent/library.so"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
    EXPECT_EQ(GetModuleHandleW(u"never-loaded.so"), nullptr);
    EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(0x10), path, PATH_MAX), 0u);
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(0x10)));
}

TEST(Resources, ModulesWithoutResourcesSayWhy) {
    HMODULE oleaut = GetModuleHandleW(u"oleaut32.dll");
    EXPECT_EQ(FindResourceW(oleaut, MAKEINTRESOURCEW(1), u"TYPELIB"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_EQ(FindResourceW(oleaut, u"#99999", u"TYPELIB"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(LoadResource(oleaut, reinterpret_cast<HRSRC>(0x1234)), nullptr);
    EXPECT_EQ(SizeofResource(oleaut, nullptr), 0u);
    WCHAR text[8];
    EXPECT_EQ(LoadStringW(oleaut, 100, text, 8), 0);
    EXPECT_EQ(LoadStringW(oleaut, 100, nullptr, 8), 0);
}

}  // namespace
