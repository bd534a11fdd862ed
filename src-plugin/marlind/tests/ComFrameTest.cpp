// The COM frame of marlind32: what registration writes and removes, machine-wide
// and per user, the type library and the resources it comes from, class
// objects, instance creation, the interfaces answered, and when the library
// may unload.
#include <sys/stat.h>

#include "PluginTestSupport.h"
#include "Quillet.h"

namespace marlind_test {
namespace {

const std::u16string kClassKey = u"CLSID\\" + GuidText(CLSID_MarlindPlugin);
const std::u16string kTypeLibKey = u"TypeLib\\" + GuidText(LIBID_MarlindLib);
const std::u16string kUserClasses = u"Software\\Classes\\";

bool KeyExists(HKEY root, const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Every value of a key as "name=data" (the default value named "@"), strings only.
std::vector<std::string> Values(HKEY root, const std::u16string& path) {
    std::vector<std::string> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {"<no key>"};
    for (DWORD i = 0;; ++i) {
        char16_t name[256];
        DWORD nameLength = 256, type = 0;
        char16_t data[1024] = {};
        DWORD size = sizeof data - sizeof(char16_t);
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
            ERROR_SUCCESS)
            break;
        const std::string shown = nameLength ? comsupport::Utf8FromOle(name, nameLength) : std::string("@");
        values.push_back(
            shown + "=" +
            (type == REG_SZ ? comsupport::Utf8FromOle(std::u16string(data)) : std::string("<not a string>")));
    }
    RegCloseKey(key);
    return values;
}

std::vector<std::string> Subkeys(HKEY root, const std::u16string& path) {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {"<no key>"};
    for (DWORD i = 0;; ++i) {
        char16_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.push_back(comsupport::Utf8FromOle(name, length));
    }
    RegCloseKey(key);
    return names;
}

// The class key exactly as registration writes it, under `root` + `prefix`.
void ExpectClassRegistered(HKEY root, const std::u16string& prefix = u"") {
    const std::u16string key = prefix + kClassKey;
    EXPECT_EQ((std::vector<std::string>{"@=MarlindPlugin Class"}), Values(root, key));
    EXPECT_EQ((std::vector<std::string>{"InprocServer32", "TypeLib", "Version"}), Subkeys(root, key))
        << "no ProgID, no AppID";
    EXPECT_EQ((std::vector<std::string>{"@=" MARLIND_PLUGIN_PATH, "ThreadingModel=Both"}),
              Values(root, key + u"\\InprocServer32"));
    EXPECT_EQ((std::vector<std::string>{"@=" + GuidUtf8(LIBID_MarlindLib)}), Values(root, key + u"\\TypeLib"));
    EXPECT_EQ((std::vector<std::string>{"@=1.0"}), Values(root, key + u"\\Version"));
    EXPECT_TRUE(KeyExists(root, prefix + kTypeLibKey + u"\\1.0\\0\\win32"));
}

using ComFrame = PluginFrameTest;

TEST_F(ComFrame, ExportsTheSixEntryPointsOnly) {
    LoadedPlugin plugin;
    ASSERT_NE(plugin.Module(), nullptr);
    for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer",
                             "DllInstall", "DllUnitTest"})
        EXPECT_NE(GetProcAddress(plugin.Module(), name), nullptr) << name;
    EXPECT_EQ(GetProcAddress(plugin.Module(), "_ZN7marlind14RecordDocumentERKN7ZELKXML7ECEventEP14_ADOConnection"),
              nullptr);
    EXPECT_EQ(GetProcAddress(plugin.Module(), "DllMain"), nullptr);
}

TEST_F(ComFrame, RegistrationWritesTheClassAndItsTypeLibrary) {
    LoadedPlugin plugin;
    ASSERT_EQ(S_OK, plugin.Register());
    ExpectClassRegistered(HKEY_CLASSES_ROOT);
    ExpectClassRegistered(HKEY_LOCAL_MACHINE, kUserClasses);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUserClasses + kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"AppID")) << "the module script writes nothing";
    // Both host interfaces are automation-compatible, so the library registers their marshaling.
    EXPECT_EQ((std::vector<std::string>{"@=IMORVDCMsgHandler"}),
              Values(HKEY_CLASSES_ROOT, u"Interface\\" + GuidText(IID_IMORVDCMsgHandler)));
    EXPECT_EQ((std::vector<std::string>{"@=IMORVDCAgentUploadResponse"}),
              Values(HKEY_CLASSES_ROOT, u"Interface\\" + GuidText(IID_IMORVDCAgentUploadResponse)));
}

TEST_F(ComFrame, RegisteringTwiceLeavesOneClassKeyWithTheListedValues) {
    LoadedPlugin plugin;
    ASSERT_EQ(S_OK, plugin.Register());
    HKEY stale = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, (kClassKey + u"\\ProgID").c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &stale, nullptr));
    RegCloseKey(stale);
    ASSERT_EQ(S_OK, plugin.Register());
    ExpectClassRegistered(HKEY_CLASSES_ROOT);
    size_t ours = 0;
    for (const std::string& name : Subkeys(HKEY_CLASSES_ROOT, u"CLSID")) ours += name == GuidUtf8(CLSID_MarlindPlugin);
    EXPECT_EQ(1u, ours);
}

TEST_F(ComFrame, UnregisteringRemovesTheClassAndTypeLibraryButKeepsTheClsidKey) {
    LoadedPlugin plugin;
    ASSERT_EQ(S_OK, plugin.Register());
    ASSERT_EQ(S_OK, plugin.Unregister());
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"CLSID"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibKey));
    EXPECT_EQ(S_OK, plugin.Unregister()) << "nothing left to remove is no failure";
    ComRef<IUnknown> object;
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_MarlindPlugin, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.ReceiveVoid()));
}

TEST_F(ComFrame, InstallIsMachineWideUnlessTheCommandLineIsUser) {
    {
        LoadedPlugin plugin;
        for (const char16_t* commandLine : {static_cast<const char16_t*>(nullptr), u"users", u"use"}) {
            ASSERT_EQ(S_OK, plugin.Install(TRUE, commandLine));
            ExpectClassRegistered(HKEY_LOCAL_MACHINE, kUserClasses);
            EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUserClasses + kClassKey));
            ASSERT_EQ(S_OK, plugin.Install(FALSE, commandLine));
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUserClasses + kClassKey));
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUserClasses + kTypeLibKey));
            EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUserClasses + u"CLSID"));
        }
    }
    EXPECT_FALSE(PluginLoaded());
}

TEST_F(ComFrame, InstallForTheUserWritesUnderTheUsersClassesForTheRestOfTheProcess) {
    {
        LoadedPlugin plugin;
        ASSERT_EQ(S_OK, plugin.Install(TRUE, u"USER"));
        ExpectClassRegistered(HKEY_CURRENT_USER, kUserClasses);
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUserClasses + kClassKey));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUserClasses + kTypeLibKey));
        ExpectClassRegistered(HKEY_CLASSES_ROOT);  // the merged view shows the user's classes

        // The choice stays: plain registration and removal now go to the user's classes too.
        ASSERT_EQ(S_OK, plugin.Register());
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUserClasses + kClassKey));
        ASSERT_EQ(S_OK, plugin.Install(FALSE, nullptr));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUserClasses + kClassKey));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUserClasses + kTypeLibKey));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kUserClasses + u"CLSID"));
    }
    ASSERT_FALSE(PluginLoaded());
    // A fresh load starts machine-wide again.
    LoadedPlugin plugin;
    ASSERT_EQ(S_OK, plugin.Install(TRUE, u"user "));
    ExpectClassRegistered(HKEY_LOCAL_MACHINE, kUserClasses);
}

TEST_F(ComFrame, AnOverlongModulePathFailsRegistrationAndWritesNothing) {
    wincompat_test::TempFolder deep("marlind-deep");
    std::string directory = deep.path();
    while (directory.size() < 300) {
        directory += "/" + std::string(40, 'd');
        ASSERT_EQ(0, mkdir(directory.c_str(), 0700));
    }
    const std::string copy = directory + "/marlind32.so";
    wincompat_test::WriteText(copy, wincompat_test::ReadText(MARLIND_PLUGIN_PATH));
    {
        LoadedPlugin plugin(marlind_test::Ole(copy));
        ASSERT_NE(plugin.Module(), nullptr);
        EXPECT_EQ(HRESULT(0x8007007A), plugin.Register());
        EXPECT_EQ(HRESULT(0x8007007A), plugin.Install(TRUE, u"user"));
    }
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibKey));
}

TEST_F(ComFrame, ResourcesCarryTheScriptsNameVersionAndManifest) {
    LoadedPlugin plugin;
    HMODULE module = plugin.Module();
    ASSERT_NE(module, nullptr);
    auto resource = [&](UINT id, LPCWSTR type) {
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
        if (!found) return std::string("<missing>");
        return std::string(static_cast<const char*>(LockResource(LoadResource(module, found))),
                           SizeofResource(module, found));
    };
    EXPECT_EQ(wincompat_test::ReadText(MARLIND_SOURCE_DIR "/marlind.rgs"), resource(101, u"REGISTRY"));
    EXPECT_EQ(wincompat_test::ReadText(MARLIND_SOURCE_DIR "/MarlindPlugin.rgs"), resource(106, u"REGISTRY"));
    EXPECT_EQ(0, resource(1, u"TYPELIB").compare(0, 4, "MSFT"));

    WCHAR name[32];
    ASSERT_EQ(7, LoadStringW(module, 100, name, 32));
    EXPECT_EQ(u"marlind", std::u16string(name));

    const std::string version = resource(1, RT_VERSION);
    ASSERT_GT(version.size(), 56u);
    DWORD signature = 0, fileMS = 0, fileLS = 0, productMS = 0, productLS = 0;
    std::memcpy(&signature, version.data() + 40, 4);
    std::memcpy(&fileMS, version.data() + 48, 4);
    std::memcpy(&fileLS, version.data() + 52, 4);
    std::memcpy(&productMS, version.data() + 56, 4);
    std::memcpy(&productLS, version.data() + 60, 4);
    EXPECT_EQ(0xFEEF04BDu, signature);
    EXPECT_EQ(0x00010000u, fileMS);
    EXPECT_EQ(0x00000001u, fileLS);
    EXPECT_EQ(0x00010000u, productMS);
    EXPECT_EQ(0x00000001u, productLS);
    // Each string value follows its key, both UTF-16 and aligned to four bytes.
    auto wide = [](const std::u16string& text) {
        return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    };
    for (const char16_t* key : {u"InternalName", u"OriginalFilename"}) {
        const size_t at = version.find(wide(key));
        ASSERT_NE(std::string::npos, at) << comsupport::Utf8FromOle(key);
        size_t value = at + (std::char_traits<char16_t>::length(key) + 1) * 2;
        value = (value + 3) & ~size_t(3);
        EXPECT_EQ(wide(u"marlind.dll"), version.substr(value, 22)) << comsupport::Utf8FromOle(key);
    }

    EXPECT_NE(std::string::npos, resource(2, RT_MANIFEST).find("level=\"asInvoker\""));
}

TEST_F(ComFrame, TypeLibraryDescribesBothHostInterfacesAndTheClass) {
    ComRef<ITypeLib> library;
    ASSERT_EQ(S_OK, LoadTypeLibEx(kPluginPath.c_str(), REGKIND_NONE, library.Receive()));
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, library->GetLibAttr(&attributes));
    EXPECT_TRUE(IsEqualGUID(LIBID_MarlindLib, attributes->guid));
    EXPECT_EQ(1, attributes->wMajorVerNum);
    EXPECT_EQ(0, attributes->wMinorVerNum);
    library->ReleaseTLibAttr(attributes);
    comsupport::Bstr name, help;
    ASSERT_EQ(S_OK, library->GetDocumentation(-1, name.Receive(), help.Receive(), nullptr, nullptr));
    EXPECT_EQ("MarlindLib", name.Utf8());
    EXPECT_FALSE(help.IsEmpty());

    struct Expected {
        const GUID* guid;
        TYPEKIND kind;
        const char* name;
        WORD functions;
    } expected[] = {{&IID_IMORVDCMsgHandler, TKIND_INTERFACE, "IMORVDCMsgHandler", 2},
                    {&IID_IMORVDCAgentUploadResponse, TKIND_INTERFACE, "IMORVDCAgentUploadResponse", 1},
                    {&CLSID_MarlindPlugin, TKIND_COCLASS, "MarlindPlugin", 0}};
    for (const Expected& type : expected) {
        ComRef<ITypeInfo> info;
        ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(*type.guid, info.Receive())) << type.name;
        TYPEATTR* typeAttributes = nullptr;
        ASSERT_EQ(S_OK, info->GetTypeAttr(&typeAttributes));
        EXPECT_EQ(type.kind, typeAttributes->typekind) << type.name;
        EXPECT_EQ(type.functions, typeAttributes->cFuncs) << type.name;
        if (type.kind == TKIND_INTERFACE) {
            EXPECT_TRUE(typeAttributes->wTypeFlags & TYPEFLAG_FOLEAUTOMATION) << type.name;
            EXPECT_FALSE(typeAttributes->wTypeFlags & TYPEFLAG_FDUAL) << type.name << " derives from IUnknown";
        } else {
            EXPECT_TRUE(typeAttributes->wTypeFlags & TYPEFLAG_FCANCREATE);
        }
        info->ReleaseTypeAttr(typeAttributes);
        ASSERT_EQ(S_OK, info->GetDocumentation(-1, name.Receive(), nullptr, nullptr, nullptr));
        EXPECT_EQ(type.name, name.Utf8());
    }

    // The method help texts, as the library stores its strings.
    LoadedPlugin plugin;
    HRSRC found = FindResourceW(plugin.Module(), MAKEINTRESOURCEW(1), u"TYPELIB");
    ASSERT_NE(found, nullptr);
    const std::string bytes(static_cast<const char*>(LockResource(LoadResource(plugin.Module(), found))),
                            SizeofResource(plugin.Module(), found));
    for (const char* text : {"Downstream DataChannel Message processing for this plug-in.",
                             "Upstream DataChannel Message processing for this plug-in.",
                             "Adds a response message to send back to agent."})
        EXPECT_NE(std::string::npos, bytes.find(text)) << text;
}

class ActivatedFrame : public PluginFrameTest {
protected:
    void SetUp() override {
        PluginFrameTest::SetUp();
        LoadedPlugin plugin;
        ASSERT_EQ(S_OK, plugin.Register());
    }
};

TEST_F(ActivatedFrame, ForeignClassesAreNotAvailable) {
    LoadedPlugin plugin;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, plugin.GetClassObject(IID_IMORVDCMsgHandler, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, plugin.GetClassObject(CLSID_QuilletObj, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_POINTER, plugin.GetClassObject(CLSID_MarlindPlugin, IID_IClassFactory, nullptr));
    EXPECT_EQ(S_OK, plugin.CanUnloadNow());
}

// An outer object that would aggregate the handler.
class Outer final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
};

TEST_F(ActivatedFrame, AggregationIsRefused) {
    ComRef<IClassFactory> factory;
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_MarlindPlugin, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     factory.ReceiveVoid()));
    Outer outer;
    for (const IID* iid : {&IID_IUnknown, &IID_IMORVDCMsgHandler}) {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, *iid, &object));
        EXPECT_EQ(nullptr, object);
    }
    ComRef<IUnknown> object;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              CoCreateInstance(CLSID_MarlindPlugin, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, object.ReceiveVoid()));
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IMORVDCMsgHandler, nullptr));
}

TEST_F(ActivatedFrame, AnswersIUnknownAndTheHandlerOnly) {
    ComRef<IMORVDCMsgHandler> handler;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_MarlindPlugin, nullptr, CLSCTX_INPROC_SERVER, IID_IMORVDCMsgHandler,
                                     handler.ReceiveVoid()));
    ComRef<IUnknown> identity, again;
    ASSERT_EQ(S_OK, handler->QueryInterface(IID_IUnknown, identity.ReceiveVoid()));
    ComRef<IMORVDCMsgHandler> handlerAgain;
    ASSERT_EQ(S_OK, identity->QueryInterface(IID_IMORVDCMsgHandler, handlerAgain.ReceiveVoid()));
    EXPECT_EQ(handler.Get(), handlerAgain.Get());
    ASSERT_EQ(S_OK, handlerAgain->QueryInterface(IID_IUnknown, again.ReceiveVoid()));
    EXPECT_EQ(identity.Get(), again.Get());
    for (const IID* iid : {&kMarshalIid, &IID_IDispatch, &IID_IClassFactory, &IID_IMORVDCAgentUploadResponse}) {
        void* other = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, handler->QueryInterface(*iid, &other));
        EXPECT_EQ(nullptr, other);
    }
    EXPECT_EQ(E_POINTER, handler->QueryInterface(IID_IUnknown, nullptr));
}

TEST_F(ActivatedFrame, TheLibraryStaysLoadedWhileAnObjectOrAFactoryReferenceLives) {
    LoadedPlugin plugin;
    ComRef<IClassFactory> factory;
    ASSERT_EQ(S_OK, plugin.GetClassObject(CLSID_MarlindPlugin, IID_IClassFactory, factory.ReceiveVoid()));
    EXPECT_EQ(S_FALSE, plugin.CanUnloadNow()) << "a client holds the factory";
    ComRef<IMORVDCMsgHandler> handler;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IMORVDCMsgHandler, handler.ReceiveVoid()));
    factory.Reset();
    EXPECT_EQ(S_FALSE, plugin.CanUnloadNow()) << "an object lives";
    handler.Reset();
    EXPECT_EQ(S_OK, plugin.CanUnloadNow());

    ASSERT_EQ(S_OK, plugin.GetClassObject(CLSID_MarlindPlugin, IID_IClassFactory, factory.ReceiveVoid()));
    ComRef<IClassFactory> second;
    ASSERT_EQ(S_OK, plugin.GetClassObject(CLSID_MarlindPlugin, IID_IClassFactory, second.ReceiveVoid()));
    EXPECT_EQ(factory.Get(), second.Get()) << "one factory, created once";
    ASSERT_EQ(S_OK, factory->LockServer(TRUE));
    factory.Reset();
    second.Reset();
    EXPECT_EQ(S_FALSE, plugin.CanUnloadNow()) << "LockServer holds the library";
    ASSERT_EQ(S_OK, plugin.GetClassObject(CLSID_MarlindPlugin, IID_IClassFactory, factory.ReceiveVoid()));
    ASSERT_EQ(S_OK, factory->LockServer(FALSE));
    factory.Reset();
    EXPECT_EQ(S_OK, plugin.CanUnloadNow());

    // Activated through COM: the library goes once the last object is released.
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_MarlindPlugin, nullptr, CLSCTX_INPROC_SERVER, IID_IMORVDCMsgHandler,
                                     handler.ReceiveVoid()));
    CoFreeUnusedLibraries();
    EXPECT_TRUE(PluginLoaded());
    handler.Reset();
}

}  // namespace
}  // namespace marlind_test
