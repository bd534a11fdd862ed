// COM activation: apartment initialisation per thread, the free-threaded marshaler, built-in
// classes through their class objects, and CLSIDs and ProgIDs looked up in a private registry.
#include <windows.h>

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "../../com/BuiltinClasses.h"
#include "support/TempFolder.h"

namespace {

// ---- apartments ----

TEST(ApartmentThreads, InitialisationIsCountedPerThread) {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    HRESULT other = E_FAIL;
    std::thread([&] {
        other = CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // another thread chooses for itself
        CoUninitialize();
    }).join();
    EXPECT_EQ(other, S_OK);
    CoUninitialize();
    CoUninitialize();
    // Fully uninitialised: a new mode may be chosen.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), RPC_E_CHANGED_MODE);
    CoUninitialize();
    CoUninitialize();  // one too many does no harm
    int reserved = 0;
    EXPECT_EQ(CoInitializeEx(&reserved, COINIT_MULTITHREADED), E_INVALIDARG);
}

// ---- the free-threaded marshaler ----

// An outer object that counts its references.
class CountingOuter final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualGUID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        if (marshaler && IsEqualGUID(riid, IID_IMarshal)) return marshaler->QueryInterface(riid, ppv);
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    ULONG refs = 1;
    IUnknown* marshaler = nullptr;
};

// A memory stream, enough for marshalling.
class MemoryStream final : public IStream {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IStream) ||
            IsEqualGUID(riid, IID_ISequentialStream)) {
            *ppv = static_cast<IStream*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override {
        ULONG n = static_cast<ULONG>(std::min<size_t>(cb, data.size() - position));
        if (n) memcpy(pv, data.data() + position, n);
        position += n;
        if (pcbRead) *pcbRead = n;
        return n == cb ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
        const auto* bytes = static_cast<const unsigned char*>(pv);
        data.insert(data.begin() + static_cast<long>(position), bytes, bytes + cb);
        position += cb;
        if (pcbWritten) *pcbWritten = cb;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD, ULARGE_INTEGER*) override {
        position = static_cast<size_t>(move.QuadPart);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }
    void Rewind() { position = 0; }
    std::vector<unsigned char> data;
    size_t position = 0;
};

TEST(FreeThreadedMarshaler, AggregatedMarshalerCountsOnTheOuterObject) {
    CountingOuter outer;
    ASSERT_EQ(CoCreateFreeThreadedMarshaler(&outer, &outer.marshaler), S_OK);
    ASSERT_NE(outer.marshaler, nullptr);
    EXPECT_EQ(outer.refs, 1u) << "creating the marshaler takes no reference on the outer object";

    IMarshal* marshal = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IMarshal, reinterpret_cast<void**>(&marshal)), S_OK);
    EXPECT_EQ(outer.refs, 2u);
    IUnknown* identity = nullptr;
    ASSERT_EQ(marshal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    identity->Release();
    marshal->Release();
    EXPECT_EQ(outer.refs, 1u);

    // The inner IUnknown is not the outer one and answers only itself and IMarshal.
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(outer.marshaler->QueryInterface(IID_IStream, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(outer.marshaler->AddRef(), 2u);
    EXPECT_EQ(outer.marshaler->Release(), 1u);
    EXPECT_EQ(outer.marshaler->Release(), 0u);
    EXPECT_EQ(CoCreateFreeThreadedMarshaler(&outer, nullptr), E_INVALIDARG);
}

TEST(FreeThreadedMarshaler, MarshalsPointersWithinTheProcess) {
    CountingOuter object;
    ASSERT_EQ(CoCreateFreeThreadedMarshaler(&object, &object.marshaler), S_OK);
    IMarshal* marshal = nullptr;
    ASSERT_EQ(object.marshaler->QueryInterface(IID_IMarshal, reinterpret_cast<void**>(&marshal)), S_OK);
    object.Release();  // the reference QueryInterface took on the outer object
    ASSERT_EQ(object.refs, 1u);

    CLSID unmarshaler;
    EXPECT_EQ(marshal->GetUnmarshalClass(IID_IUnknown, &object, MSHCTX_INPROC, nullptr, MSHLFLAGS_NORMAL, &unmarshaler),
              S_OK);
    EXPECT_TRUE(IsEqualGUID(unmarshaler, CLSID_InProcFreeMarshaler));
    DWORD size = 0;
    EXPECT_EQ(marshal->GetMarshalSizeMax(IID_IUnknown, &object, MSHCTX_INPROC, nullptr, MSHLFLAGS_NORMAL, &size), S_OK);
    EXPECT_GT(size, 0u);
    EXPECT_NE(marshal->GetUnmarshalClass(IID_IUnknown, &object, MSHCTX_DIFFERENTMACHINE, nullptr, MSHLFLAGS_NORMAL,
                                         &unmarshaler),
              S_OK);

    // A normal packet carries one reference, handed to the unmarshalled pointer.
    MemoryStream stream;
    ASSERT_EQ(marshal->MarshalInterface(&stream, IID_IUnknown, &object, MSHCTX_INPROC, nullptr, MSHLFLAGS_NORMAL),
              S_OK);
    EXPECT_EQ(object.refs, 2u);
    EXPECT_LE(stream.data.size(), size);
    stream.Rewind();
    IUnknown* unmarshalled = nullptr;
    ASSERT_EQ(marshal->UnmarshalInterface(&stream, IID_IUnknown, reinterpret_cast<void**>(&unmarshalled)), S_OK);
    EXPECT_EQ(unmarshalled, static_cast<IUnknown*>(&object));
    EXPECT_EQ(object.refs, 2u);
    unmarshalled->Release();

    // A weak table entry holds nothing; a released packet gives its reference back.
    MemoryStream weak;
    ASSERT_EQ(marshal->MarshalInterface(&weak, IID_IUnknown, &object, MSHCTX_INPROC, nullptr, MSHLFLAGS_TABLEWEAK),
              S_OK);
    EXPECT_EQ(object.refs, 1u);
    MemoryStream strong;
    ASSERT_EQ(marshal->MarshalInterface(&strong, IID_IUnknown, &object, MSHCTX_INPROC, nullptr, MSHLFLAGS_TABLESTRONG),
              S_OK);
    EXPECT_EQ(object.refs, 2u);
    strong.Rewind();
    EXPECT_EQ(marshal->ReleaseMarshalData(&strong), S_OK);
    EXPECT_EQ(object.refs, 1u);

    MemoryStream empty;
    IUnknown* nothing = nullptr;
    EXPECT_TRUE(FAILED(marshal->UnmarshalInterface(&empty, IID_IUnknown, reinterpret_cast<void**>(&nothing))));
    EXPECT_EQ(nothing, nullptr);
    object.AddRef();
    marshal->Release();
    object.marshaler->Release();
}

// ---- built-in classes through class factories ----

const CLSID kBuiltinClass = {0x7A1D0001, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};
IUnknown* g_lastOuter = nullptr;

HRESULT CreateBuiltin(IUnknown* outer, REFIID riid, void** ppv) {
    g_lastOuter = outer;
    static CountingOuter instance;
    return instance.QueryInterface(riid, ppv);
}
wincompat::BuiltinClassRegistration g_registration(kBuiltinClass, {u"Zelk.TestBuiltin.1", u"Zelk.TestBuiltin"},
                                                   &CreateBuiltin);

TEST(BuiltinActivation, ClassObjectWrapsTheCreator) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(kBuiltinClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    IUnknown* object = nullptr;
    CountingOuter outer;
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
    EXPECT_EQ(g_lastOuter, &outer) << "the outer object reaches the creator";
    object->Release();
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(factory->Release(), 0u);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoGetClassObject(kBuiltinClass, CLSCTX_INPROC_SERVER, nullptr, IID_IStream, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(CoGetClassObject(kBuiltinClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, nullptr), E_INVALIDARG);

    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(u"zelk.testbuiltin", &clsid), S_OK);
    EXPECT_TRUE(IsEqualGUID(clsid, kBuiltinClass));
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(kBuiltinClass, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), u"Zelk.TestBuiltin.1");
    CoTaskMemFree(progId);
}

// ---- registry look-ups that fail ----

class RegistryActivation : public ::testing::Test {
protected:
    static void SetDefault(const std::u16string& path, const std::u16string& text, DWORD type = REG_SZ) {
        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        RegSetValueExW(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * 2));
        RegCloseKey(key);
    }
    wincompat_test::TempRegistryFolder folder_{"wincompat-activation"};
};

const CLSID kRegisteredClass = {0x7A1D0002, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};
const std::u16string kRegisteredKey = u"CLSID\\{7A1D0002-1111-2222-3333-444455556666}";

TEST_F(RegistryActivation, ClassesWithoutAServerGiveComErrors) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kRegisteredClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    SetDefault(kRegisteredKey, u"No server");
    EXPECT_EQ(CoCreateInstance(kRegisteredClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    SetDefault(kRegisteredKey + u"\\InprocServer32", u"%ZELK_NO_SUCH_FOLDER%/server.so", REG_EXPAND_SZ);
    setenv("ZELK_NO_SUCH_FOLDER", "/nonexistent", 1);
    EXPECT_EQ(CoGetClassObject(kRegisteredClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, &object),
              HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    unsetenv("ZELK_NO_SUCH_FOLDER");

    // A library that exports no DllGetClassObject: wincompat itself.
    WCHAR path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(GetModuleHandleW(u"ole32.dll"), path, MAX_PATH), 0u);
    SetDefault(kRegisteredKey + u"\\InprocServer32", path);
    EXPECT_EQ(CoCreateInstance(kRegisteredClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CO_E_ERRORINDLL);
}

TEST_F(RegistryActivation, ProgIdsResolveThroughTheRegistry) {
    SetDefault(u"Zelk.Registered.1\\CLSID", u"{7A1D0002-1111-2222-3333-444455556666}");
    SetDefault(u"Zelk.Registered\\CurVer", u"Zelk.Registered.1");
    SetDefault(u"Zelk.Broken\\CLSID", u"not a guid");
    SetDefault(kRegisteredKey + u"\\ProgID", u"Zelk.Registered.1");
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(u"Zelk.Registered.1", &clsid), S_OK);
    EXPECT_TRUE(IsEqualGUID(clsid, kRegisteredClass));
    ASSERT_EQ(CLSIDFromProgID(u"zelk.registered", &clsid), S_OK);  // through CurVer
    EXPECT_TRUE(IsEqualGUID(clsid, kRegisteredClass));
    EXPECT_EQ(CLSIDFromProgID(u"Zelk.Broken", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(u"Zelk.Missing", &clsid), CO_E_CLASSSTRING);
    EXPECT_TRUE(IsEqualGUID(clsid, GUID_NULL));
    EXPECT_EQ(CLSIDFromProgID(u"..\\CLSID", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromString(u"Zelk.Registered.1", &clsid), S_OK);
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(kRegisteredClass, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), u"Zelk.Registered.1");
    CoTaskMemFree(progId);
    CLSID other = kRegisteredClass;
    other.Data1 = 1;
    EXPECT_EQ(ProgIDFromCLSID(other, &progId), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(progId, nullptr);
}

}  // namespace
