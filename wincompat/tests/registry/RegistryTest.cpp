// The registry functions over hive files in a private folder: the export format on disk, Windows'
// error codes, damaged hives refused, the merged HKEY_CLASSES_ROOT, redirected predefined keys,
// concurrent writers.
#include <sys/wait.h>

#include <thread>
#include <vector>

#include "RegistryTestSupport.h"
#include "wincompat/DebugOutput.h"

namespace {

class RegistryTest : public ::testing::Test {
protected:
    TempRegistryFolder folder;
};

TEST_F(RegistryTest, ValuesPersistInReadableExportFormat) {
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, u"Software\\Zelk\\Test", nullptr, u"Default text"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, u"Software\\Zelk\\Test", u"Quoted", u"say \"hi\" \\ bye"), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\zelk\\TEST", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    DWORD number = 0x12345678;
    ASSERT_EQ(RegSetValueExW(key, u"Count", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4), ERROR_SUCCESS);
    const BYTE blob[] = {0, 1, 0xfe, 0xff};
    ASSERT_EQ(RegSetValueExW(key, u"Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    RegCloseKey(key);

    std::string text = ReadText(folder.HiveFile("HKEY_LOCAL_MACHINE"));
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Zelk\\Test]\n@=\"Default text\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Quoted\"=\"say \\\"hi\\\" \\\\ bye\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Count\"=dword:12345678\n"), std::string::npos);
    EXPECT_NE(text.find("\"Blob\"=hex:00,01,fe,ff\n"), std::string::npos);

    std::u16string value;
    EXPECT_EQ(QueryString(HKEY_LOCAL_MACHINE, u"Software\\Zelk\\Test", u"quoted", value), ERROR_SUCCESS);
    EXPECT_EQ(value, u"say \"hi\" \\ bye");
}

TEST_F(RegistryTest, FileWrittenByAnotherProgramIsReadBack) {
    WriteText(folder.HiveFile("HKEY_CURRENT_USER"),
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
              "@=\"caf\xc3\xa9 \xf0\x9f\x98\x80\"\r\n"
              "\"Lines\"=hex(1):61,00,0a,00,62,00,00,00\r\n"
              "\"Number\"=dword:0000002a\r\n"
              "\"Long\"=hex:01,02,\\\r\n  03\r\n\r\n"
              "; end of hive\r\n");
    std::u16string value;
    ASSERT_EQ(QueryString(HKEY_CURRENT_USER, u"Software\\Other", nullptr, value), ERROR_SUCCESS);
    EXPECT_EQ(value, u"caf\u00e9 \U0001F600");
    ASSERT_EQ(QueryString(HKEY_CURRENT_USER, u"Software\\Other", u"Lines", value), ERROR_SUCCESS);
    EXPECT_EQ(value, u"a\nb");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Other", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD number = 0, type = 0, size = sizeof number;
    EXPECT_EQ(RegQueryValueExW(key, u"Number", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(number, 42u);
    BYTE bytes[8] = {};
    size = sizeof bytes;
    EXPECT_EQ(RegQueryValueExW(key, u"Long", nullptr, &type, bytes, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(bytes[2], 3);
    RegCloseKey(key);

    // A string with a line break survives a save (as hex(1)) unchanged.
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, u"Software\\Other", u"Added", u"x"), ERROR_SUCCESS);
    ASSERT_EQ(QueryString(HKEY_CURRENT_USER, u"Software\\Other", u"Lines", value), ERROR_SUCCESS);
    EXPECT_EQ(value, u"a\nb");
}

TEST_F(RegistryTest, ReportsWindowsErrorCodes) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Missing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegOpenKeyExW(reinterpret_cast<HKEY>(0x1234), u"x", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x1234)), ERROR_INVALID_HANDLE);

    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, u"Software\\A\\B", u"V", u"0123456789"), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\A\\B", 0, KEY_READ, &key), ERROR_SUCCESS);
    BYTE small[4];
    DWORD size = sizeof small;
    EXPECT_EQ(RegQueryValueExW(key, u"V", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 22u);
    EXPECT_EQ(RegQueryValueExW(key, u"Nope", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExW(key, u"V", nullptr, nullptr, small, nullptr), ERROR_INVALID_PARAMETER);

    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\A"), ERROR_ACCESS_DENIED);  // has a subkey
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\A\\B"), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(key, u"V", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\A\\B"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

    HKEY created = nullptr;
    EXPECT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Bad\nName", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr),
        ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, CreateTellsNewFromExistingAndEnumerates) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Enum", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"software\\ENUM", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    for (const char16_t* name : {u"beta", u"Alpha", u"gamma"}) {
        HKEY child = nullptr;
        ASSERT_EQ(RegCreateKeyExW(key, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr), ERROR_SUCCESS);
        RegCloseKey(child);
    }
    std::vector<std::u16string> names;
    WCHAR name[16];
    for (DWORD i = 0;; ++i) {
        DWORD chars = 16;
        LONG status = RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(status, ERROR_SUCCESS);
        EXPECT_EQ(chars, std::u16string(name).size());
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Alpha", u"beta", u"gamma"}));
    DWORD tiny = 3;
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &tiny, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    DWORD subkeys = 0;
    EXPECT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 3u);

    EXPECT_EQ(RegDeleteTreeW(key, nullptr), ERROR_SUCCESS);  // empties, keeps the key
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\Enum"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Enum\\beta"));
    RegCloseKey(key);
    EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"Software"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software"));
    EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"Software"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, DamagedHiveIsRefusedAndNeverOverwritten) {
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, u"Software\\Keep", u"Name", u"important"), ERROR_SUCCESS);
    const std::string path = folder.HiveFile("HKEY_LOCAL_MACHINE");
    const std::string whole = ReadText(path);
    ASSERT_GT(whole.size(), 40u);
    std::string captured;
    wincompat::SetDebugOutputSink([&captured](const std::string& text) { captured += text; });
    // Cut the file at several points, as a crash in the middle of a plain write would.
    for (size_t cut : {whole.size() - 1, whole.size() - 5, whole.size() / 2, size_t(10), size_t(0)}) {
        SCOPED_TRACE(cut);
        std::string damaged = whole.substr(0, cut);
        WriteText(path, damaged);
        HKEY key = nullptr;
        captured.clear();
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Keep", 0, KEY_READ, &key), ERROR_BADDB);
        EXPECT_NE(captured.find(path + " is damaged"), std::string::npos) << captured;
        EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, u"Software\\Other", u"X", u"y"), ERROR_BADDB);
        EXPECT_EQ(ReadText(path), damaged) << "a damaged hive must not be replaced";
    }
    wincompat::SetDebugOutputSink(nullptr);
    WriteText(path, whole);
    std::u16string value;
    EXPECT_EQ(QueryString(HKEY_LOCAL_MACHINE, u"Software\\Keep", u"Name", value), ERROR_SUCCESS);
    EXPECT_EQ(value, u"important");
}

TEST_F(RegistryTest, MalformedLinesAreRefused) {
    const std::string head = "Windows Registry Editor Version 5.00\n\n";
    const std::string tail = "\n; end of hive\n";
    for (const std::string& body :
         {std::string("[HKEY_CURRENT_USER\\A\n"), std::string("@=\"x\"\n"), std::string("[HKEY_LOCAL_MACHINE\\A]\n"),
          std::string("[HKEY_CURRENT_USER\\A]\n\"v\"=\"unclosed\n"),
          std::string("[HKEY_CURRENT_USER\\A]\n\"v\"=dword:12\n"),
          std::string("[HKEY_CURRENT_USER\\A]\n\"v\"=hex:zz\n"), std::string("[-HKEY_CURRENT_USER\\A]\n")}) {
        SCOPED_TRACE(body);
        WriteText(folder.HiveFile("HKEY_CURRENT_USER"), head + body + tail);
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"A"));
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"A", 0, KEY_READ, &key), ERROR_BADDB);
    }
    WriteText(folder.HiveFile("HKEY_CURRENT_USER"), "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n; end of hive\n");
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"A", 0, KEY_READ, &key), ERROR_BADDB);
}

TEST_F(RegistryTest, ClassesRootMergesMachineAndUserClasses) {
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Shared", nullptr, u"machine"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, u"Software\\Classes\\MachineOnly", nullptr, u"m"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, u"Software\\Classes\\Shared", nullptr, u"user"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, u"Software\\Classes\\UserOnly", nullptr, u"u"), ERROR_SUCCESS);

    std::u16string value;
    ASSERT_EQ(QueryString(HKEY_CLASSES_ROOT, u"Shared", nullptr, value), ERROR_SUCCESS);
    EXPECT_EQ(value, u"user");  // the user's classes win
    ASSERT_EQ(QueryString(HKEY_CLASSES_ROOT, u"MachineOnly", nullptr, value), ERROR_SUCCESS);
    EXPECT_EQ(value, u"m");
    ASSERT_EQ(QueryString(HKEY_CLASSES_ROOT, u"UserOnly", nullptr, value), ERROR_SUCCESS);
    EXPECT_EQ(value, u"u");

    std::vector<std::u16string> names;
    WCHAR name[64];
    DWORD chars = 64;
    for (DWORD i = 0; chars = 64,
               RegEnumKeyExW(HKEY_CLASSES_ROOT, i, name, &chars, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i)
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"MachineOnly", u"Shared", u"UserOnly"}));

    // New keys go to the machine's classes; values follow the key that the view shows.
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, u"NewClass", nullptr, u"n"), ERROR_SUCCESS);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\NewClass"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\NewClass"));
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, u"UserOnly", u"Extra", u"e"), ERROR_SUCCESS);
    EXPECT_EQ(QueryString(HKEY_CURRENT_USER, u"Software\\Classes\\UserOnly", u"Extra", value), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, u"UserOnly\\Child", nullptr, u"c"), ERROR_SUCCESS);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\UserOnly\\Child"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\UserOnly\\Child"));

    // Deleting through the view removes the user's key first, uncovering the machine's.
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Shared"), ERROR_SUCCESS);
    ASSERT_EQ(QueryString(HKEY_CLASSES_ROOT, u"Shared", nullptr, value), ERROR_SUCCESS);
    EXPECT_EQ(value, u"machine");
    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"UserOnly"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"UserOnly"));
}

TEST_F(RegistryTest, OverriddenPredefinedKeyRedirectsUntilRestored) {
    HKEY userClasses = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &userClasses, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, userClasses), ERROR_SUCCESS);
    RegCloseKey(userClasses);  // the override keeps its own reference
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, u"Redirected", nullptr, u"r"), ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\Redirected"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Redirected"));
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, u"NotRedirected", nullptr, u"n"), ERROR_SUCCESS);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\NotRedirected"));
    EXPECT_EQ(RegOverridePredefKey(reinterpret_cast<HKEY>(0x10), nullptr), ERROR_INVALID_HANDLE);
}

// Two processes adding keys at the same time: every key of both must survive.
TEST_F(RegistryTest, ConcurrentProcessesLoseNothing) {
    constexpr int kKeysPerWriter = 60;
    std::vector<pid_t> children;
    for (int writer = 0; writer < 2; ++writer) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            for (int i = 0; i < kKeysPerWriter; ++i) {
                std::string name = "Software\\Race\\W" + std::to_string(writer) + "_" + std::to_string(i);
                std::u16string wide(name.begin(), name.end());
                if (SetString(HKEY_CURRENT_USER, wide.c_str(), u"Value", u"v") != ERROR_SUCCESS) ++failures;
            }
            _exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    HKEY race = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Race", 0, KEY_READ, &race), ERROR_SUCCESS);
    DWORD subkeys = 0;
    ASSERT_EQ(RegQueryInfoKeyW(race, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, DWORD(2 * kKeysPerWriter));
    RegCloseKey(race);
    // No temporary file is left behind.
    std::string listing = folder.path();
    EXPECT_EQ(system(("test -z \"$(ls '" + listing + "' | grep -v '\\.reg$' | grep -v '\\.lock$')\"").c_str()), 0);
}

TEST_F(RegistryTest, ConcurrentThreadsLoseNothing) {
    constexpr int kThreads = 4, kKeys = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kKeys; ++i) {
                std::string name = "Software\\Threads\\T" + std::to_string(t) + "_" + std::to_string(i);
                std::u16string wide(name.begin(), name.end());
                EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, wide.c_str(), nullptr, u"x"), ERROR_SUCCESS);
                EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, wide.c_str()));
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Threads", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD subkeys = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    EXPECT_EQ(subkeys, DWORD(kThreads * kKeys));
    RegCloseKey(key);
}

}  // namespace
