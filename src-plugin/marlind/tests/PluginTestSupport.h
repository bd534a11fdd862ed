// What the plug-in's tests share: the built marlind32 library loaded as a
// host loads it, a private registry it is registered into, the handler
// activated by its CLSID, and event documents to send it.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "comsupport/ComRef.h"
#include "comsupport/OleString.h"
#include "dao/DaoTestSupport.h"
#include "marlind.h"
#include "support/TempFolder.h"

namespace marlind_test {

using comsupport::ComRef;
using marlind_test::AgentXml;
using marlind_test::AnalyzerXml;
using marlind_test::DebugOutputCapture;
using marlind_test::EventXml;
using marlind_test::MakePayload;
using marlind_test::Row;
using marlind_test::SafeArrayPtr;

inline GUID GuidOf(const char16_t* text) {
    GUID guid = {};
    EXPECT_EQ(S_OK, CLSIDFromString(text, &guid)) << "not a GUID";
    return guid;
}

// A GUID in the braced form the registration scripts write.
inline std::u16string GuidText(REFGUID guid) {
    OLECHAR text[39] = {};
    StringFromGUID2(guid, text, 39);
    return text;
}
inline std::string GuidUtf8(REFGUID guid) { return comsupport::Utf8FromOle(GuidText(guid)); }

// The plug-in's class, type library and host interfaces come from the header
// widl makes of marlind.idl, as a host knows them; COM's own are spelt out.
inline const IID kMarshalIid = GuidOf(u"{00000003-0000-0000-C000-000000000046}");

inline const std::u16string kPluginPath = marlind_test::Ole(MARLIND_PLUGIN_PATH);

inline bool PluginLoaded() { return GetModuleHandleW(kPluginPath.c_str()) != nullptr; }

// The library loaded by the test itself, to call its exports by name.
class LoadedPlugin {
public:
    explicit LoadedPlugin(const std::u16string& path = kPluginPath) : module_(LoadLibraryW(path.c_str())) {}
    ~LoadedPlugin() {
        if (module_) FreeLibrary(module_);
    }
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    HMODULE Module() const { return module_; }
    HRESULT Register() const { return Export<HRESULT (*)()>("DllRegisterServer")(); }
    HRESULT Unregister() const { return Export<HRESULT (*)()>("DllUnregisterServer")(); }
    HRESULT Install(BOOL install, LPCWSTR commandLine) const {
        return Export<HRESULT (*)(BOOL, LPCWSTR)>("DllInstall")(install, commandLine);
    }
    HRESULT CanUnloadNow() const { return Export<HRESULT (*)()>("DllCanUnloadNow")(); }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) const {
        return Export<HRESULT (*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(clsid, iid, ppv);
    }
    INT UnitTest(LPCWSTR path) const { return Export<INT (*)(LPCWSTR)>("DllUnitTest")(path); }

private:
    template <typename Function>
    Function Export(const char* name) const {
        FARPROC proc = module_ ? GetProcAddress(module_, name) : nullptr;
        Function function = nullptr;
        std::memcpy(&function, &proc, sizeof function);
        if (!function) ADD_FAILURE() << name << " is not exported";
        return function;
    }

    HMODULE module_;
};

// A private registry and COM on the test's thread; the library is unloaded
// again once the test let go of everything it had from it.
class PluginFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        CoFreeUnusedLibraries();
        ASSERT_FALSE(PluginLoaded()) << "an earlier test left the plug-in loaded";
    }
    void TearDown() override {
        CoFreeUnusedLibraries();
        EXPECT_FALSE(PluginLoaded()) << "something still holds the plug-in";
        CoUninitialize();
    }

    wincompat_test::TempRegistryFolder registry_{"marlind-registry"};
};

// A reference host database with the plug-in registered and one handler
// activated by its CLSID, as the host has them.
class RegisteredPluginTest : public marlind_test::HostDatabaseTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        marlind_test::HostDatabaseTest::SetUp();
        {
            LoadedPlugin plugin;
            ASSERT_NE(plugin.Module(), nullptr);
            ASSERT_EQ(S_OK, plugin.Register());
        }
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_MarlindPlugin, nullptr, CLSCTX_INPROC_SERVER, IID_IMORVDCMsgHandler,
                                         handler_.ReceiveVoid()));
    }
    void TearDown() override {
        handler_.Reset();
        connection_.Reset();
        CoFreeUnusedLibraries();
        EXPECT_FALSE(PluginLoaded()) << "something still holds the plug-in";
        CoUninitialize();
    }

    // An upstream message, as the host sends it; the unused identifying texts are filled in.
    HRESULT Send(IUnknown* connection, const char16_t* messageType, SAFEARRAY* payload,
                 IMORVDCAgentUploadResponse* response = nullptr) {
        comsupport::Bstr type(messageType);
        comsupport::Bstr appPath(u"C:\\Program Files\\MORV\\Server");
        comsupport::Bstr agent(u"{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}");
        comsupport::Bstr address(u"10.1.2.15");
        comsupport::Bstr host(u"sensor01");
        comsupport::Bstr origin(u"sensor01.lab.example.com");
        return handler_->ProcessDCMessageFromAgent(connection, appPath.Get(), agent.Get(), address.Get(), host.Get(),
                                                   type.Get(), origin.Get(), payload, response);
    }
    HRESULT Send(const char16_t* messageType, const std::string& document) {
        SafeArrayPtr payload = MakePayload(document);
        return Send(Connection(), messageType, payload.get());
    }
    HRESULT SendEvent(const std::string& document) { return Send(kSensorEventType, document); }

    // The detected systems in the order they were first recorded.
    std::vector<Row> DetectedSystems() {
        return Rows(
            "SELECT DnsName, DetectedSourceType, SourceSensorID FROM ZELKDetectedSystemProperties "
            "ORDER BY HostID");
    }

    static constexpr const char16_t* kSensorEventType = u"ZELKMETA_SensorEvent";
    wincompat_test::TempRegistryFolder registry_{"marlind-registry"};
    ComRef<IMORVDCMsgHandler> handler_;
};

// ---------------------------------------------------------------------------
// Event documents

// The reporting sensor: agent identity, one subnet.
inline std::string LabAnalyzer(const std::string& agent = marlind_test::kAgent) {
    return AnalyzerXml(AgentXml(agent) +
                       "<zelk:Name>sensor01</zelk:Name><zelk:SubnetMask>255.255.255.0</zelk:SubnetMask>"
                       "<zelk:NetworkAddress>10.1.2.0</zelk:NetworkAddress>");
}

// One detected machine; each `host` number gives its own name, MAC and address.
inline std::string Detection(int host, const std::string& classification) {
    const std::string n = std::to_string(host);
    const std::string octet = std::to_string(host % 250 + 2);
    char mac[32];
    std::snprintf(mac, sizeof mac, "00:50:56:%02X:%02X:%02X", (host >> 16) & 0xFF, (host >> 8) & 0xFF, host & 0xFF);
    std::string event =
        "<zelk:Event><zelk:DetectTime>2013-03-08T13:40:02Z</zelk:DetectTime><zelk:Source><zelk:Node>"
        "<zelk:Name>host" +
        n + ".lab</zelk:Name><zelk:MACAddress>" + mac + "</zelk:MACAddress><zelk:Address>10.1.2." + octet +
        "</zelk:Address></zelk:Node></zelk:Source>";
    if (!classification.empty())
        event += "<zelk:Classification><zelk:EventClassification>" + classification +
                 "</zelk:EventClassification></zelk:Classification>";
    return event + "</zelk:Event>";
}

inline std::string EventDocument(const std::string& events, const std::string& analyzer = LabAnalyzer()) {
    return EventXml("<zelk:CreateTime>2013-03-08T13:47:20Z</zelk:CreateTime>" + analyzer + events);
}

}  // namespace marlind_test
