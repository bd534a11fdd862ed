// The test server, built with zelk_add_com_server, registered and activated
// through the registry as a host would.
#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "TestServerInterfaces.h"
#include "TestSupport.h"

namespace {

const std::u16string kServerPath = Wide(TEST_SERVER_PATH);
const std::u16string kCounterKey = u"CLSID\\{5E0C3B71-3D52-4A3C-9E0B-2B8B7C1E4A20}";
const std::u16string kPlainKey = u"CLSID\\{5E0C3B71-3D52-4A3C-9E0B-2B8B7C1E4A21}";
const std::u16string kLibKey = u"TypeLib\\{5E0C3B71-3D52-4A3C-9E0B-2B8B7C1E4A10}";
const std::u16string kCounterInterfaceKey = u"Interface\\{5E0C3B71-3D52-4A3C-9E0B-2B8B7C1E4A01}";
const std::u16string kAppIdKey = u"AppID\\{5E0C3B71-3D52-4A3C-9E0B-2B8B7C1E4A30}";

template <typename Function>
Function Export(HMODULE module, const char* name) {
    FARPROC proc = GetProcAddress(module, name);
    Function function = nullptr;
    memcpy(&function, &proc, sizeof function);
    return function;
}

// The server loaded by the test itself, for calling its exports directly.
class LoadedServer {
public:
    explicit LoadedServer(const std::u16string& path = kServerPath) : module_(LoadLibraryW(path.c_str())) {}
    ~LoadedServer() {
        if (module_) FreeLibrary(module_);
    }
    HMODULE module() const { return module_; }
    HRESULT Register() { return Export<HRESULT (*)()>(module_, "DllRegisterServer")(); }
    HRESULT Unregister() { return Export<HRESULT (*)()>(module_, "DllUnregisterServer")(); }
    HRESULT Install(BOOL install, LPCWSTR commandLine) {
        return Export<HRESULT (*)(BOOL, LPCWSTR)>(module_, "DllInstall")(install, commandLine);
    }
    HRESULT CanUnloadNow() { return Export<HRESULT (*)()>(module_, "DllCanUnloadNow")(); }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
        return Export<HRESULT (*)(REFCLSID, REFIID, void**)>(module_, "DllGetClassObject")(clsid, iid, ppv);
    }
    LONG LockCount() { return Export<LONG (*)()>(module_, "TestServerLockCount")(); }

private:
    HMODULE module_;
};

bool ServerLoaded() { return GetModuleHandleW(kServerPath.c_str()) != nullptr; }

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoFreeUnusedLibraries();
        ASSERT_FALSE(ServerLoaded()) << "an earlier test left the server loaded";
    }
    void TearDown() override { CoFreeUnusedLibraries(); }
    TempRegistryFolder folder;
};

TEST_F(ServerTest, ExportsOnlyWhatTheDefFileLists) {
    LoadedServer server;
    ASSERT_NE(server.module(), nullptr);
    EXPECT_NE(GetProcAddress(server.module(), "DllGetClassObject"), nullptr);
    EXPECT_NE(GetProcAddress(server.module(), "DllInstall"), nullptr);
    EXPECT_EQ(GetProcAddress(server.module(), "_ZN9comserver6Module7CurrentEv"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
}

TEST_F(ServerTest, ResourcesComeFromTheRcFile) {
    LoadedServer server;
    HMODULE module = server.module();
    ASSERT_NE(module, nullptr);

    HRSRC script = FindResourceW(module, MAKEINTRESOURCEW(102), u"REGISTRY");
    ASSERT_NE(script, nullptr);
    std::string text(static_cast<const char*>(LockResource(LoadResource(module, script))),
                     SizeofResource(module, script));
    EXPECT_EQ(text, ReadText(TEST_SERVER_SOURCE_DIR "/TestCounter.rgs"));
    EXPECT_NE(FindResourceW(module, u"#101", u"registry"), nullptr);  // names and types as Windows matches them
    EXPECT_EQ(FindResourceW(module, MAKEINTRESOURCEW(999), u"REGISTRY"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindResourceW(module, MAKEINTRESOURCEW(1), u"NOSUCHTYPE"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND));

    HRSRC typeLib = FindResourceW(module, MAKEINTRESOURCEW(1), u"TYPELIB");
    ASSERT_NE(typeLib, nullptr);
    EXPECT_EQ(memcmp(LockResource(LoadResource(module, typeLib)), "MSFT", 4), 0);

    WCHAR name[32];
    EXPECT_EQ(LoadStringW(module, 100, name, 32), 10);
    EXPECT_EQ(std::u16string(name), u"TestServer");
    EXPECT_EQ(LoadStringW(module, 100, name, 5), 4);  // truncated, terminated
    EXPECT_EQ(std::u16string(name), u"Test");
    EXPECT_EQ(LoadStringW(module, 101, name, 32), 0);

    HRSRC version = FindResourceW(module, MAKEINTRESOURCEW(1), RT_VERSION);
    ASSERT_NE(version, nullptr);
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, version)));
    DWORD size = SizeofResource(module, version);
    EXPECT_EQ(bytes[0] | (bytes[1] << 8), int(size));
    std::u16string key(reinterpret_cast<const char16_t*>(bytes + 6), 15);
    EXPECT_EQ(key, u"VS_VERSION_INFO");
    DWORD signature = 0, fileVersionLow = 0;
    memcpy(&signature, bytes + 40, 4);  // after the header, the key and its padding
    memcpy(&fileVersionLow, bytes + 52, 4);
    EXPECT_EQ(signature, 0xFEEF04BDu);
    EXPECT_EQ(fileVersionLow, 1u);  // 1.0.0.1
    std::string all(reinterpret_cast<const char*>(bytes), size);
    std::u16string original = u"OriginalFilename";
    EXPECT_NE(all.find(std::string(reinterpret_cast<const char*>(original.data()), original.size() * 2)),
              std::string::npos);

    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    EXPECT_EQ(std::u16string(path, length), kServerPath);
    EXPECT_EQ(GetModuleFileNameW(module, path, 5), 5u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(path[4], 0);
}

TEST_F(ServerTest, RegistrationWritesClassesProgIdsAppIdAndTypeLibrary) {
    LoadedServer server;
    ASSERT_EQ(server.Register(), S_OK);
    const std::u16string directory = kServerPath.substr(0, kServerPath.rfind(u'/'));

    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kCounterKey), u"TestCounter Class");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kCounterKey, u"AppID"), u"{5E0C3B71-3D52-4A3C-9E0B-2B8B7C1E4A30}");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kCounterKey + u"\\InprocServer32"), kServerPath);
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kCounterKey + u"\\InprocServer32", u"ThreadingModel"), u"Both");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kCounterKey + u"\\ProgID"), u"TestServer.TestCounter.1");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"TestServer.TestCounter\\CurVer"), u"TestServer.TestCounter.1");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kAppIdKey), u"TestServer");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"AppID\\TestServer.DLL", u"AppID"),
              u"{5E0C3B71-3D52-4A3C-9E0B-2B8B7C1E4A30}");

    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kLibKey + u"\\1.0"), u"TestServer 1.0 Type Library");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kLibKey + u"\\1.0\\FLAGS"), u"0");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kLibKey + u"\\1.0\\HELPDIR"), directory);
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kLibKey + u"\\1.0\\0\\win32"), kServerPath);
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kCounterInterfaceKey), u"ITestCounter");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kCounterInterfaceKey + u"\\ProxyStubClsid32"),
              u"{00020424-0000-0000-C000-000000000046}");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kCounterInterfaceKey + u"\\ProxyStubClsid"),
              u"{00020424-0000-0000-C000-000000000046}");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kCounterInterfaceKey + u"\\TypeLib"),
              u"{5E0C3B71-3D52-4A3C-9E0B-2B8B7C1E4A10}");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kCounterInterfaceKey + u"\\TypeLib", u"Version"), u"1.0");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"Interface\\{5E0C3B71-3D52-4A3C-9E0B-2B8B7C1E4A02}"), u"ITestNamed");

    // Registering again leaves one class key with the same contents.
    ASSERT_EQ(server.Register(), S_OK);
    EXPECT_EQ(SubkeyCount(HKEY_CLASSES_ROOT, u"CLSID"), 2u);
    EXPECT_EQ(SubkeyCount(HKEY_CLASSES_ROOT, kCounterKey), 4u);

    ASSERT_EQ(server.Unregister(), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kCounterKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kPlainKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"TestServer.TestCounter"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"TestServer.TestCounter.1"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kAppIdKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"AppID\\TestServer.DLL"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kLibKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kCounterInterfaceKey));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"CLSID"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"AppID"));
    EXPECT_EQ(server.Unregister(), S_OK);  // nothing left to remove is no failure
}

TEST_F(ServerTest, RegistrationRestoresTheThreadLocale) {
    LoadedServer server;
    const LCID saved = GetThreadLocale();
    ASSERT_TRUE(SetThreadLocale(0x407));
    EXPECT_EQ(server.Register(), S_OK);
    EXPECT_EQ(GetThreadLocale(), LCID(0x407));
    EXPECT_EQ(server.Unregister(), S_OK);
    EXPECT_EQ(GetThreadLocale(), LCID(0x407));
    SetThreadLocale(saved);
}

TEST_F(ServerTest, InstallForTheUserWritesUnderCurrentUserClasses) {
    {
        LoadedServer server;
        EXPECT_EQ(server.Install(TRUE, u"users"), S_OK);  // not "user": machine-wide
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\" + kCounterKey));
        EXPECT_EQ(server.Install(FALSE, nullptr), S_OK);
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\" + kCounterKey));

        EXPECT_EQ(server.Install(TRUE, u"USER"), S_OK);
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\" + kCounterKey));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\" + kLibKey + u"\\1.0\\0\\win32"));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\" + kCounterInterfaceKey));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\" + kCounterKey));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\" + kLibKey));
        // The per-user choice stays for the rest of the process, as the flag is sticky.
        EXPECT_EQ(server.Install(FALSE, nullptr), S_OK);
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\" + kCounterKey));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\" + kLibKey));
    }
    EXPECT_FALSE(ServerLoaded());
}

TEST_F(ServerTest, OverlongModulePathFailsRegistration) {
    std::string directory = folder.path();
    while (directory.size() < 300) {
        directory += "/" + std::string(40, 'd');
        mkdir(directory.c_str(), 0700);
    }
    std::string copy = directory + "/TestServer.so";
    WriteText(copy, ReadText(TEST_SERVER_PATH));
    LoadedServer server(Wide(copy));
    ASSERT_NE(server.module(), nullptr);
    EXPECT_EQ(server.Register(), HRESULT(0x8007007A));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kCounterKey));
}

TEST_F(ServerTest, ActivatesThroughTheRegistryAndUnloadsWhenUnused) {
    {
        LoadedServer server;
        ASSERT_EQ(server.Register(), S_OK);
    }
    ASSERT_FALSE(ServerLoaded());

    ITestCounter* counter = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_ITestCounter,
                               reinterpret_cast<void**>(&counter)),
              S_OK);
    LONG value = 0;
    EXPECT_EQ(counter->Increment(&value), S_OK);
    EXPECT_EQ(value, 1);
    ASSERT_TRUE(ServerLoaded());
    CoFreeUnusedLibraries();
    EXPECT_TRUE(ServerLoaded()) << "a live object keeps its server loaded";
    counter->Release();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(ServerLoaded());

    // By ProgID, through the version-independent name.
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(u"TestServer.TestCounter", &clsid), S_OK);
    EXPECT_TRUE(IsEqualGUID(clsid, CLSID_TestCounter));
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_TestCounter, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), u"TestServer.TestCounter.1");
    CoTaskMemFree(progId);

    // An unregistered class, and one whose library is gone.
    IUnknown* unknown = nullptr;
    CLSID unknownClass = CLSID_TestCounter;
    unknownClass.Data1 = 0x12345678;
    EXPECT_EQ(
        CoCreateInstance(unknownClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&unknown)),
        REGDB_E_CLASSNOTREG);
    EXPECT_EQ(unknown, nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&unknown)),
              REGDB_E_CLASSNOTREG);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, (kPlainKey + u"\\InprocServer32").c_str(), 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    const char16_t missing[] = u"/nonexistent/TestServer.so";
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(missing), sizeof missing);
    RegCloseKey(key);
    EXPECT_EQ(CoCreateInstance(CLSID_PlainCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&unknown)),
              HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
}

TEST_F(ServerTest, ClassFactoryIsCachedAndHoldsTheModule) {
    {
        LoadedServer server;
        ASSERT_EQ(server.Register(), S_OK);
    }
    IClassFactory* first = nullptr;
    IClassFactory* second = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_TestCounter, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&first)),
              S_OK);
    ASSERT_EQ(CoGetClassObject(CLSID_TestCounter, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&second)),
              S_OK);
    EXPECT_EQ(first, second) << "one factory per class, created once";
    LoadedServer server;               // one more reference to the same library, to read its counts
    EXPECT_EQ(server.LockCount(), 1);  // clients hold the factory: one lock
    EXPECT_EQ(server.CanUnloadNow(), S_FALSE);
    second->Release();
    EXPECT_EQ(server.LockCount(), 1);
    first->Release();
    EXPECT_EQ(server.LockCount(), 0);  // back to the module's own reference
    EXPECT_EQ(server.CanUnloadNow(), S_OK);

    IClassFactory* factory = nullptr;
    ASSERT_EQ(server.GetClassObject(CLSID_TestCounter, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(factory, first);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(server.LockCount(), 2);
    factory->Release();
    EXPECT_EQ(server.LockCount(), 1);
    EXPECT_EQ(server.CanUnloadNow(), S_FALSE);
    ASSERT_EQ(server.GetClassObject(CLSID_TestCounter, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    IUnknown* object = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
    factory->Release();
    EXPECT_EQ(server.LockCount(), 1);  // the live object
    EXPECT_EQ(server.CanUnloadNow(), S_FALSE);
    object->Release();
    EXPECT_EQ(server.LockCount(), 0);
    EXPECT_EQ(server.CanUnloadNow(), S_OK);

    // What the module does not serve.
    void* none = reinterpret_cast<void*>(1);
    CLSID foreign = CLSID_TestCounter;
    foreign.Data2 = 0;
    EXPECT_EQ(server.GetClassObject(foreign, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(server.GetClassObject(CLSID_TestCounter, IID_IClassFactory, nullptr), E_POINTER);
    none = reinterpret_cast<void*>(1);
    EXPECT_EQ(server.GetClassObject(CLSID_TestCounter, IID_ITestCounter, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(server.LockCount(), 0);
}

// An outer object that counts the references its aggregated parts take.
class Outer final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualGUID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        if (inner) return inner->QueryInterface(riid, ppv);  // everything else is the inner object's
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    ULONG refs = 1;
    IUnknown* inner = nullptr;
};

TEST_F(ServerTest, AggregationFollowsEachClassPolicy) {
    LoadedServer server;
    ASSERT_EQ(server.Register(), S_OK);
    Outer outer;
    IClassFactory* plainFactory = nullptr;
    IClassFactory* counterFactory = nullptr;
    ASSERT_EQ(server.GetClassObject(CLSID_PlainCounter, IID_IClassFactory, reinterpret_cast<void**>(&plainFactory)),
              S_OK);
    ASSERT_EQ(server.GetClassObject(CLSID_TestCounter, IID_IClassFactory, reinterpret_cast<void**>(&counterFactory)),
              S_OK);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(plainFactory->CreateInstance(&outer, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(plainFactory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(counterFactory->CreateInstance(&outer, IID_ITestCounter, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);

    // The plain object answers only its own interfaces.
    IUnknown* plain = nullptr;
    ASSERT_EQ(plainFactory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&plain)), S_OK);
    void* marshal = reinterpret_cast<void*>(1);
    EXPECT_EQ(plain->QueryInterface(IID_IMarshal, &marshal), E_NOINTERFACE);
    EXPECT_EQ(marshal, nullptr);
    plain->Release();

    // Aggregated: the inner IUnknown is separate, the interfaces count on the outer object.
    ASSERT_EQ(counterFactory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    EXPECT_EQ(outer.refs, 1u);
    EXPECT_EQ(server.LockCount(), 3);  // two held factories and the object
    ITestCounter* counter = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_ITestCounter, reinterpret_cast<void**>(&counter)), S_OK);
    EXPECT_EQ(outer.refs, 2u);
    IUnknown* identity = nullptr;
    ASSERT_EQ(counter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer)) << "the aggregate has the outer object's identity";
    identity->Release();
    IMarshal* marshaler = nullptr;
    ASSERT_EQ(counter->QueryInterface(IID_IMarshal, reinterpret_cast<void**>(&marshaler)), S_OK);
    EXPECT_EQ(outer.refs, 3u);
    CLSID unmarshalClass;
    EXPECT_EQ(marshaler->GetUnmarshalClass(IID_ITestCounter, counter, MSHCTX_INPROC, nullptr, MSHLFLAGS_NORMAL,
                                           &unmarshalClass),
              S_OK);
    EXPECT_TRUE(IsEqualGUID(unmarshalClass, CLSID_InProcFreeMarshaler));
    marshaler->Release();
    LONG value = 0;
    counter->Increment(&value);
    EXPECT_EQ(value, 1);
    counter->Release();
    EXPECT_EQ(outer.refs, 1u);
    EXPECT_EQ(outer.inner->Release(), 0u);
    outer.inner = nullptr;
    EXPECT_EQ(server.LockCount(), 2);

    // Not aggregated: IMarshal is the object's own free-threaded marshaler.
    ITestCounter* standalone = nullptr;
    ASSERT_EQ(counterFactory->CreateInstance(nullptr, IID_ITestCounter, reinterpret_cast<void**>(&standalone)), S_OK);
    ASSERT_EQ(standalone->QueryInterface(IID_IMarshal, reinterpret_cast<void**>(&marshaler)), S_OK);
    IUnknown* viaMarshaler = nullptr;
    ASSERT_EQ(marshaler->QueryInterface(IID_ITestCounter, reinterpret_cast<void**>(&viaMarshaler)), S_OK);
    EXPECT_EQ(viaMarshaler, static_cast<IUnknown*>(standalone));
    viaMarshaler->Release();
    marshaler->Release();
    EXPECT_EQ(standalone->Release(), 0u);

    plainFactory->Release();
    counterFactory->Release();
    EXPECT_EQ(server.LockCount(), 0);
    EXPECT_EQ(server.CanUnloadNow(), S_OK);
}

TEST_F(ServerTest, TwoServersInOneProcessKeepTheirOwnModules) {
    const std::string copy = folder.path() + "/OtherServer.so";
    WriteText(copy, ReadText(TEST_SERVER_PATH));
    LoadedServer first;
    LoadedServer second(Wide(copy));
    ASSERT_NE(second.module(), nullptr);
    ASSERT_NE(first.module(), second.module());
    IUnknown* object = nullptr;
    IClassFactory* factory = nullptr;
    ASSERT_EQ(second.GetClassObject(CLSID_PlainCounter, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
    EXPECT_EQ(second.LockCount(), 2);
    EXPECT_EQ(first.LockCount(), 0);
    EXPECT_EQ(first.CanUnloadNow(), S_OK);
    WCHAR path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(second.module(), path, MAX_PATH), 0u);
    EXPECT_EQ(std::u16string(path), Wide(copy));
    EXPECT_NE(FindResourceW(second.module(), MAKEINTRESOURCEW(102), u"REGISTRY"), nullptr);
    object->Release();
    factory->Release();
    EXPECT_EQ(second.LockCount(), 0);
}

TEST_F(ServerTest, ConcurrentFirstCallsShareOneFactory) {
    LoadedServer server;
    constexpr int kThreads = 8;
    std::vector<IClassFactory*> factories(kThreads, nullptr);
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            while (!go) std::this_thread::yield();
            server.GetClassObject(CLSID_TestCounter, IID_IClassFactory, reinterpret_cast<void**>(&factories[i]));
            IUnknown* object = nullptr;
            if (factories[i] &&
                factories[i]->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)) == S_OK)
                object->Release();
        });
    }
    go = true;
    for (std::thread& thread : threads) thread.join();
    for (IClassFactory* factory : factories) EXPECT_EQ(factory, factories[0]);
    EXPECT_EQ(server.LockCount(), 1);
    for (IClassFactory* factory : factories)
        if (factory) factory->Release();
    EXPECT_EQ(server.LockCount(), 0);
}

TEST_F(ServerTest, TypeLibraryLoadsFromTheModule) {
    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadTypeLibEx(kServerPath.c_str(), REGKIND_NONE, &library), S_OK);
    EXPECT_FALSE(ServerLoaded()) << "the module is released once its type library is read";
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_TestServerLib));
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->lcid, 0u);
    EXPECT_EQ(attr->syskind, SYS_WIN32);
    library->ReleaseTLibAttr(attr);
    BSTR name = nullptr, doc = nullptr;
    ASSERT_EQ(library->GetDocumentation(-1, &name, &doc, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::u16string(name), u"TestServerLib");
    EXPECT_EQ(std::u16string(doc), u"TestServer 1.0 Type Library");
    SysFreeString(name);
    SysFreeString(doc);

    ITypeInfo* info = nullptr;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_ITestCounter, &info), S_OK);
    TYPEATTR* typeAttr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&typeAttr), S_OK);
    EXPECT_EQ(typeAttr->typekind, TKIND_INTERFACE);
    EXPECT_TRUE(typeAttr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
    EXPECT_EQ(typeAttr->cFuncs, 1);
    info->ReleaseTypeAttr(typeAttr);
    ITypeLib* containing = nullptr;
    UINT index = 99;
    ASSERT_EQ(info->GetContainingTypeLib(&containing, &index), S_OK);
    EXPECT_EQ(containing, library);
    containing->Release();
    info->Release();

    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_ITestNamed, &info), S_OK);
    ASSERT_EQ(info->GetTypeAttr(&typeAttr), S_OK);
    EXPECT_TRUE(typeAttr->wTypeFlags & TYPEFLAG_FDUAL);
    info->ReleaseTypeAttr(typeAttr);
    info->Release();

    BOOL found = FALSE;
    OLECHAR lookup[] = u"testcounter";
    EXPECT_EQ(library->IsName(lookup, 0, &found), S_OK);
    EXPECT_TRUE(found);
    EXPECT_EQ(library->GetTypeInfoOfGuid(CLSID_NULL, &info), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(library->Release(), 0u);

    // Through "module\N": a resource id that the module lacks.
    EXPECT_EQ(LoadTypeLibEx((kServerPath + u"\\2").c_str(), REGKIND_NONE, &library), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(LoadTypeLibEx(u"/nonexistent.tlb", REGKIND_NONE, &library), TYPE_E_CANTLOADLIBRARY);
}

TEST_F(ServerTest, DamagedTypeLibrariesAreRefused) {
    HMODULE module = LoadLibraryW(kServerPath.c_str());
    ASSERT_NE(module, nullptr);
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), u"TYPELIB");
    std::string good(static_cast<const char*>(LockResource(LoadResource(module, resource))),
                     SizeofResource(module, resource));
    FreeLibrary(module);
    const std::string path = folder.path() + "/damaged.tlb";
    // Cuts inside the header, the segment directory and the tables that registration reads.
    for (size_t cut : {size_t(3), size_t(0x40), size_t(0x90), good.size() / 2}) {
        SCOPED_TRACE(cut);
        WriteText(path, good.substr(0, cut));
        ITypeLib* library = reinterpret_cast<ITypeLib*>(1);
        EXPECT_EQ(LoadTypeLibEx(Wide(path).c_str(), REGKIND_NONE, &library), TYPE_E_CANTLOADLIBRARY);
        EXPECT_EQ(library, nullptr);
        if (library && library != reinterpret_cast<ITypeLib*>(1)) library->Release();
    }
    std::string scrambled = good;
    for (size_t i = 0x54; i < 0x120 && i < scrambled.size(); ++i) scrambled[i] = '\x7f';
    WriteText(path, scrambled);
    ITypeLib* library = nullptr;
    EXPECT_EQ(LoadTypeLibEx(Wide(path).c_str(), REGKIND_NONE, &library), TYPE_E_CANTLOADLIBRARY);
    WriteText(path, good);
    ASSERT_EQ(LoadTypeLibEx(Wide(path).c_str(), REGKIND_REGISTER, &library), S_OK);
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kLibKey + u"\\1.0\\0\\win32"), Wide(path));
    library->Release();
    EXPECT_EQ(UnRegisterTypeLib(LIBID_TestServerLib, 1, 0, 0, SYS_WIN32), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kLibKey));
    EXPECT_EQ(UnRegisterTypeLib(LIBID_TestServerLib, 1, 0, 0, SYS_WIN32), TYPE_E_REGISTRYACCESS);
}

}  // namespace
