// The registrar on ATL-syntax scripts, into a private registry: ForceRemove, NoRemove and Delete,
// per-user classes, replacements, UTF-16 scripts, malformed scripts refused and a failure half-way
// rolled back.
#include "comserver/Registrar.h"

#include <string>

#include "TestSupport.h"

namespace {

const char kClassScript[] = R"(HKCR
{
	NoRemove CLSID
	{
		ForceRemove {11111111-2222-3333-4444-555555555555} = s 'Thing Class'
		{
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Both'
			}
			TypeLib = s '{AAAAAAAA-2222-3333-4444-555555555555}'
			Version = s '1.0'
		}
	}
}
)";
const char16_t kClassKey[] = u"CLSID\\{11111111-2222-3333-4444-555555555555}";

class RegistrarTest : public ::testing::Test {
protected:
    RegistrarTest() { registrar.AddReplacement(u"Module", u"/opt/zelk/thing.so"); }
    TempRegistryFolder folder;
    comserver::Registrar registrar;
};

TEST_F(RegistrarTest, RegistersTheClassKeysWithReplacedValues) {
    ASSERT_EQ(registrar.Register(kClassScript), S_OK) << registrar.LastError();
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kClassKey), u"Thing Class");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, std::u16string(kClassKey) + u"\\InprocServer32"), u"/opt/zelk/thing.so");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, std::u16string(kClassKey) + u"\\InprocServer32", u"ThreadingModel"),
              u"Both");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, std::u16string(kClassKey) + u"\\Version"), u"1.0");
    // Machine-wide: the keys live in the machine's classes.
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::u16string(u"Software\\Classes\\") + kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::u16string(u"Software\\Classes\\") + kClassKey));
    EXPECT_TRUE(registrar.LastError().empty());
}

TEST_F(RegistrarTest, RegisteringTwiceLeavesExactlyOneFreshKey) {
    ASSERT_EQ(registrar.Register(kClassScript), S_OK);
    // Leftovers of an older registration under the force-removed key must go.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, (std::u16string(kClassKey) + u"\\Stale").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(registrar.Register(kClassScript), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::u16string(kClassKey) + u"\\Stale"));
    EXPECT_EQ(SubkeyCount(HKEY_CLASSES_ROOT, u"CLSID"), 1u);
    EXPECT_EQ(SubkeyCount(HKEY_CLASSES_ROOT, kClassKey), 3u);  // InprocServer32, TypeLib, Version
    std::string hive = ReadText(folder.HiveFile("HKEY_LOCAL_MACHINE"));
    size_t first = hive.find("{11111111-2222-3333-4444-555555555555}]");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(hive.find("{11111111-2222-3333-4444-555555555555}]", first + 1), std::string::npos);
}

TEST_F(RegistrarTest, UnregisteringKeepsNoRemoveParentsAndForeignKeys) {
    ASSERT_EQ(registrar.Register(kClassScript), S_OK);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{99999999-2222-3333-4444-555555555555}", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(registrar.Unregister(kClassScript), S_OK) << registrar.LastError();
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"CLSID"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"CLSID\\{99999999-2222-3333-4444-555555555555}"));
    // Unregistering what is not there is not an error.
    EXPECT_EQ(registrar.Unregister(kClassScript), S_OK);
    // A NoRemove parent stays even when it ends up empty.
    RegDeleteKeyW(HKEY_CLASSES_ROOT, u"CLSID\\{99999999-2222-3333-4444-555555555555}");
    ASSERT_EQ(registrar.Register(kClassScript), S_OK);
    ASSERT_EQ(registrar.Unregister(kClassScript), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"CLSID"));
    EXPECT_EQ(SubkeyCount(HKEY_CLASSES_ROOT, u"CLSID"), 0u);
}

TEST_F(RegistrarTest, PlainKeysGoWhenEmptyAndNamedValuesAreRemoved) {
    const char script[] = R"(HKCR
{
	Thing.Thing.1 = s 'Thing Class'
	{
		CLSID = s '{11111111-2222-3333-4444-555555555555}'
	}
	NoRemove Shared
	{
		val Owned = s 'mine'
		val Count = d 42
		val Mask = d '0x10'
		val Bytes = b '00FF7f'
	}
}
)";
    ASSERT_EQ(registrar.Register(script), S_OK) << registrar.LastError();
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"Thing.Thing.1\\CLSID"), u"{11111111-2222-3333-4444-555555555555}");
    HKEY shared = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Shared", 0, KEY_ALL_ACCESS, &shared), ERROR_SUCCESS);
    DWORD number = 0, size = 4, type = 0;
    EXPECT_EQ(RegQueryValueExW(shared, u"Count", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(number, 42u);
    size = 4;
    RegQueryValueExW(shared, u"Mask", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size);
    EXPECT_EQ(number, 16u);
    BYTE bytes[4] = {};
    size = sizeof bytes;
    EXPECT_EQ(RegQueryValueExW(shared, u"Bytes", nullptr, &type, bytes, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(bytes[1], 0xFF);
    const char16_t other[] = u"theirs";
    RegSetValueExW(shared, u"Other", 0, REG_SZ, reinterpret_cast<const BYTE*>(other), sizeof other);
    RegCloseKey(shared);

    ASSERT_EQ(registrar.Unregister(script), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"Thing.Thing.1"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"Shared"));
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"Shared", u"Owned"), u"<missing>");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"Shared", u"Other"), u"theirs");
}

TEST_F(RegistrarTest, DeleteRemovesAKeyOnRegistration) {
    ASSERT_EQ(registrar.Register("HKCU { Software { Old { Deeper = s 'x' } } }"), S_OK);
    ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\Old\\Deeper"));
    ASSERT_EQ(registrar.Register("HKCU { NoRemove Software { Delete Old } }"), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Old"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software"));
}

TEST_F(RegistrarTest, PerUserModeWritesClassesUnderTheCurrentUser) {
    registrar.SetPerUser(true);
    ASSERT_EQ(registrar.Register(kClassScript), S_OK) << registrar.LastError();
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, std::u16string(u"Software\\Classes\\") + kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::u16string(u"Software\\Classes\\") + kClassKey));
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, std::u16string(kClassKey) + u"\\InprocServer32"), u"/opt/zelk/thing.so");
    // Other roots are not redirected.
    ASSERT_EQ(registrar.Register("HKLM { Software { Zelk = s 'm' } }"), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Zelk"));
    ASSERT_EQ(registrar.Unregister(kClassScript), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::u16string(u"Software\\Classes\\") + kClassKey));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID"));
}

TEST_F(RegistrarTest, ReplacementsIgnoreCaseAndKeepQuotes) {
    registrar.AddReplacement(u"APPID", u"{3B841D8C-3E27-41C4-BC51-936D1B24B807}");
    registrar.AddReplacement(u"Module", u"/opt/it's here/thing.so");  // replaces the earlier value
    ASSERT_EQ(registrar.Register("HKCR { Test = s '%module%' { val AppID = s '%AppId%' val Pct = s '100%%' "
                                 "val Quote = s 'it''s' } }"),
              S_OK)
        << registrar.LastError();
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"Test"), u"/opt/it's here/thing.so");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"Test", u"AppID"), u"{3B841D8C-3E27-41C4-BC51-936D1B24B807}");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"Test", u"Pct"), u"100%");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"Test", u"Quote"), u"it's");
}

TEST_F(RegistrarTest, AcceptsUtf16ScriptsWithByteOrderMark) {
    std::u16string text = u"\uFEFFHKCR { Wide = s 'caf\u00e9' }";
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    ASSERT_EQ(registrar.Run(bytes.data(), bytes.size(), true), S_OK) << registrar.LastError();
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"Wide"), u"caf\u00e9");
}

// A malformed script is refused before anything is written.
TEST_F(RegistrarTest, MalformedScriptsChangeNothing) {
    struct Case {
        const char* script;
        const char* mentions;
    };
    const Case cases[] = {
        {"HKCR { A = s 'x' ", "ends"},
        {"HKCR { A = s 'unclosed }", "not closed"},
        {"HKXX { A }", "unknown root"},
        {"HKCR { A = q 'x' }", "unknown value type"},
        {"HKCR { A = d 'twelve' }", "DWORD"},
        {"HKCR { A = d 0x1FFFFFFFF }", "DWORD"},
        {"HKCR { A = b 'ABC' }", "pairs"},
        {"HKCR { A = s '%NOSUCH%' }", "NOSUCH"},
        {"HKCR { A = s '%MODULE' }", "closing"},
        {"HKCR { val X = s 'y' }", "val"},
        {"HKCR { A\\B = s 'y' }", "without"},
        {"HKCR { A { } } }", "root"},
        {"HKCR\n{\n  Good = s 'y'\n  = s 'z'\n}", "line 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        EXPECT_EQ(registrar.Register(c.script), DISP_E_EXCEPTION);
        EXPECT_NE(registrar.LastError().find(c.mentions), std::string::npos) << registrar.LastError();
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"A"));
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"Good"));
    }
    const unsigned char badUtf8[] = {'H', 'K', 'C', 'R', ' ', '{', ' ', 0xC3, 0x28, ' ', '}'};
    EXPECT_EQ(registrar.Run(badUtf8, sizeof badUtf8, true), DISP_E_EXCEPTION);
    // An overlong form and an encoded surrogate are not UTF-8 either.
    const unsigned char overlong[] = {'H', 'K', 'C', 'R', ' ', '{', ' ', 'A', 0xC1, 0x81, ' ', '}'};
    EXPECT_EQ(registrar.Run(overlong, sizeof overlong, true), DISP_E_EXCEPTION);
    const unsigned char surrogate[] = {'H', 'K', 'C', 'R', ' ', '{', ' ', 'A', 0xED, 0xA0, 0x80, ' ', '}'};
    EXPECT_EQ(registrar.Run(surrogate, sizeof surrogate, true), DISP_E_EXCEPTION);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"AA"));
}

// A registry failure half-way undoes what the run had written.
TEST_F(RegistrarTest, FailureHalfWayRollsBack) {
    ASSERT_EQ(registrar.Register("HKLM { Software { Existing = s 'before' { Child = s 'c' } } }"), S_OK);
    // The user's hive is damaged, so the second root of the script cannot be written.
    ASSERT_EQ(registrar.Register("HKCU { Software { Anything = s 'x' } }"), S_OK);
    WriteText(folder.HiveFile("HKEY_CURRENT_USER"), "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\n");
    const char script[] = R"(HKLM
{
	Software
	{
		ForceRemove Existing = s 'after'
		Brand
		{
			New = s 'n'
		}
	}
}
HKCU
{
	Software
	{
		Fails = s 'x'
	}
}
)";
    HRESULT hr = registrar.Register(script);
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_BADDB));
    EXPECT_NE(registrar.LastError().find("undone"), std::string::npos);
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, u"Software\\Existing"), u"before");
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, u"Software\\Existing\\Child"), u"c");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Brand"));
}

}  // namespace
