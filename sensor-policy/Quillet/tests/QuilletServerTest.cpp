// The COM frame: what registration writes (and removes), class objects,
// instance creation with and without an outer object, the free-threaded
// marshaler, and the module's unload rule.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "QuilletTestSupport.h"

namespace {

using comsupport::ComRef;

std::optional<std::u16string> RegistryText(const std::u16string& key, const char16_t* value = nullptr) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return std::nullopt;
    char16_t data[1024] = {};
    DWORD size = sizeof data - sizeof(char16_t);
    DWORD type = 0;
    LONG rc = RegQueryValueExW(opened, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(opened);
    if (rc != ERROR_SUCCESS) return std::nullopt;
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << "every value is a string";
    return std::u16string(data, size / sizeof(char16_t)).c_str();
}

bool KeyExists(const std::u16string& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

std::u16string GuidText(REFGUID guid) {
    OLECHAR text[39] = {};
    StringFromGUID2(guid, text, 39);
    return text;
}

// The class as Quillet.idl names it; the registration script must name the same.
const std::u16string kQuilletClsid = GuidText(CLSID_QuilletObj);
const std::u16string kClassKey = u"CLSID\\" + kQuilletClsid;

#define QUILLET_APPID u"{3B841D8C-3E27-41C4-BC51-936D1B24B807}"

void ExpectRegistered() {
    EXPECT_EQ(RegistryText(u"Quillet.Quillet.1"), u"QuilletObj Class");
    EXPECT_EQ(RegistryText(u"Quillet.Quillet.1\\CLSID"), kQuilletClsid);
    EXPECT_EQ(RegistryText(u"Quillet.QuilletOb"), u"QuilletObj Class");
    EXPECT_EQ(RegistryText(u"Quillet.QuilletOb\\CLSID"), kQuilletClsid);
    EXPECT_EQ(RegistryText(u"Quillet.QuilletOb\\CurVer"), u"Quillet.Quillet.1");
    EXPECT_EQ(RegistryText(kClassKey), u"QuilletObj Class");
    EXPECT_EQ(RegistryText(kClassKey, u"AppID"), QUILLET_APPID);
    EXPECT_EQ(RegistryText(kClassKey + u"\\ProgID"), u"Quillet.Quillet.1");
    EXPECT_EQ(RegistryText(kClassKey + u"\\VersionIndependentProgID"), u"Quillet.QuilletOb");
    EXPECT_EQ(RegistryText(kClassKey + u"\\InprocServer32", u"ThreadingModel"), u"Both");
    EXPECT_EQ(RegistryText(kClassKey + u"\\TypeLib"), GuidText(LIBID_QuilletLib));
    EXPECT_EQ(RegistryText(u"AppID\\" QUILLET_APPID), u"Quillet");
    EXPECT_EQ(RegistryText(u"AppID\\Quillet.DLL", u"AppID"), QUILLET_APPID);

    auto server = RegistryText(kClassKey + u"\\InprocServer32");
    ASSERT_TRUE(server.has_value());
    EXPECT_EQ(server->front(), u'/') << "the library's full path";
    EXPECT_EQ(LoadLibraryW(reinterpret_cast<LPCWSTR>(server->c_str())) != nullptr, true);
}

TEST(QuilletRegistration, WritesBothProgIdsTheClassAndTheAppId) {
    ExpectRegistered();
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(OLESTR("Quillet.Quillet.1"), &clsid), S_OK);
    EXPECT_TRUE(IsEqualGUID(clsid, CLSID_QuilletObj));
    ASSERT_EQ(CLSIDFromProgID(OLESTR("Quillet.QuilletOb"), &clsid), S_OK);
    EXPECT_TRUE(IsEqualGUID(clsid, CLSID_QuilletObj));
}

TEST(QuilletRegistration, RegisteringTwiceLeavesOneClassKeyWithTheSameValues) {
    // A leftover subkey under the class key disappears: the key is force-removed first.
    HKEY stale = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, (kClassKey + u"\\Stale").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &stale, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(stale);
    ASSERT_EQ(DllRegisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(kClassKey + u"\\Stale"));
    ExpectRegistered();
}

TEST(QuilletRegistration, UnregisteringRemovesEverythingButTheParentKeys) {
    ASSERT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(u"Quillet.Quillet.1"));
    EXPECT_FALSE(KeyExists(u"Quillet.QuilletOb"));
    EXPECT_FALSE(KeyExists(kClassKey));
    EXPECT_FALSE(KeyExists(u"AppID\\" QUILLET_APPID));
    EXPECT_FALSE(KeyExists(u"AppID\\Quillet.DLL"));
    EXPECT_TRUE(KeyExists(u"CLSID"));
    EXPECT_TRUE(KeyExists(u"AppID"));
    ComRef<IUnknown> object;
    EXPECT_EQ(CoCreateInstance(CLSID_QuilletObj, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.ReceiveVoid()),
              REGDB_E_CLASSNOTREG);
    ASSERT_EQ(DllRegisterServer(), S_OK);  // the other tests activate by CLSID
    ExpectRegistered();
}

// An outer object that counts its references and hands out the inner object's interfaces.
class Outer final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualGUID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;
    IUnknown* inner = nullptr;
};

class QuilletServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(DllGetClassObject(CLSID_QuilletObj, IID_IClassFactory, factory_.ReceiveVoid()), S_OK);
    }
    ComRef<IClassFactory> factory_;
};

TEST_F(QuilletServerTest, ForeignClassIsNotAvailable) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(DllGetClassObject(IID_IMORVAgentPolicyHandler, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(DllGetClassObject(CLSID_QuilletObj, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(QuilletServerTest, AnswersItsInterfacesAndTheFreeThreadedMarshaler) {
    ComRef<IMORVAgentPolicyHandler> handler;
    ASSERT_EQ(factory_->CreateInstance(nullptr, IID_IMORVAgentPolicyHandler, handler.ReceiveVoid()), S_OK);
    ComRef<IUnknown> marshal;
    EXPECT_EQ(handler->QueryInterface(quillet::kIidMarshal, marshal.ReceiveVoid()), S_OK);
    EXPECT_TRUE(marshal);
    ComRef<IUnknown> identity1, identity2;
    ASSERT_EQ(handler->QueryInterface(IID_IUnknown, identity1.ReceiveVoid()), S_OK);
    ASSERT_EQ(marshal->QueryInterface(IID_IUnknown, identity2.ReceiveVoid()), S_OK);
    EXPECT_EQ(identity1.Get(), identity2.Get()) << "the marshaler is aggregated on the object";
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(handler->QueryInterface(IID_IDispatch, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(factory_->CreateInstance(nullptr, IID_IMORVAgentPolicyHandler, nullptr), E_POINTER);
}

TEST_F(QuilletServerTest, AggregationOnlyThroughIUnknown) {
    Outer outer;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory_->CreateInstance(&outer, IID_IMORVAgentPolicyHandler, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);

    ASSERT_EQ(factory_->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    ASSERT_NE(outer.inner, nullptr);
    IMORVAgentPolicyHandler* handler = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IMORVAgentPolicyHandler, reinterpret_cast<void**>(&handler)), S_OK);
    EXPECT_EQ(outer.refs, 2u) << "the contained object's references go to the outer object";
    IUnknown* viaHandler = nullptr;
    ASSERT_EQ(handler->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaHandler)), S_OK);
    EXPECT_EQ(viaHandler, static_cast<IUnknown*>(&outer)) << "identity is the outer object's";
    viaHandler->Release();
    IUnknown* marshal = nullptr;
    EXPECT_EQ(handler->QueryInterface(quillet::kIidMarshal, reinterpret_cast<void**>(&marshal)), S_OK);
    if (marshal) marshal->Release();
    handler->Release();
    EXPECT_EQ(outer.refs, 1u);
    EXPECT_EQ(outer.inner->Release(), 0u);
}

TEST_F(QuilletServerTest, ModuleStaysLoadedWhileAnObjectOrAFactoryReferenceLives) {
    ComRef<IMORVAgentPolicyHandler> handler;
    ASSERT_EQ(factory_->CreateInstance(nullptr, IID_IMORVAgentPolicyHandler, handler.ReceiveVoid()), S_OK);
    factory_.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    handler.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    ComRef<IClassFactory> held;
    ASSERT_EQ(DllGetClassObject(CLSID_QuilletObj, IID_IClassFactory, held.ReceiveVoid()), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    held->LockServer(TRUE);
    held.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    ASSERT_EQ(DllGetClassObject(CLSID_QuilletObj, IID_IClassFactory, held.ReceiveVoid()), S_OK);
    held->LockServer(FALSE);
    held.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace
