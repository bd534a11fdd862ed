// A small in-process server built like the plug-ins: two classes, one that
// refuses aggregation and one that can be aggregated and aggregates the
// free-threaded marshaler.
#include <windows.h>
#ifdef _WIN32
#include <initguid.h>  // the GUIDs below are defined here, not only declared
#endif

#include "comserver/ClassFactory.h"
#include "comserver/Module.h"
#include "comserver/Object.h"
#include "resource.h"
#include "TestServerInterfaces.h"

namespace {

// Refuses aggregation; answers IUnknown and ITestCounter only.
class CPlainCounter : public comserver::ObjectRoot, public ITestCounter {
public:
    static const comserver::InterfaceEntry<CPlainCounter>* Interfaces() {
        static const comserver::InterfaceEntry<CPlainCounter> table[] = {
            comserver::InterfaceOf<CPlainCounter, ITestCounter>(IID_ITestCounter), {nullptr, nullptr}};
        return table;
    }
    STDMETHOD(Increment)(LONG* value) override {
        if (!value) return E_POINTER;
        *value = InterlockedIncrement(&count_);
        return S_OK;
    }

private:
    LONG count_ = 0;
};

// Aggregatable; hands out the free-threaded marshaler's IMarshal.
class CTestCounter : public comserver::ObjectRoot, public ITestCounter {
public:
    static const comserver::InterfaceEntry<CTestCounter>* Interfaces() {
        static const comserver::InterfaceEntry<CTestCounter> table[] = {
            comserver::InterfaceOf<CTestCounter, ITestCounter>(IID_ITestCounter), {nullptr, nullptr}};
        return table;
    }
    HRESULT FinalConstruct() { return CoCreateFreeThreadedMarshaler(ControllingUnknown(), &marshaler_); }
    void FinalRelease() {
        if (marshaler_) marshaler_->Release();
        marshaler_ = nullptr;
    }
    HRESULT QueryAggregates(REFIID riid, void** ppv) {
        *ppv = nullptr;
        if (IsEqualGUID(riid, IID_IMarshal) && marshaler_) return marshaler_->QueryInterface(riid, ppv);
        return E_NOINTERFACE;
    }
    STDMETHOD(Increment)(LONG* value) override {
        if (!value) return E_POINTER;
        *value = InterlockedIncrement(&count_);
        return S_OK;
    }

private:
    IUnknown* marshaler_ = nullptr;
    LONG count_ = 0;
};

class CTestServerModule : public comserver::Module {
public:
    CTestServerModule()
        : Module({&LIBID_TestServerLib,
                  IDR_TESTSERVER_APPID,
                  {{OLESTR("APPID"), OLESTR("{5E0C3B71-3D52-4A3C-9E0B-2B8B7C1E4A30}")}}},
                 {{&CLSID_TestCounter, IDR_TESTCOUNTER, &comserver::CreateObject<CTestCounter>,
                   comserver::Aggregation::IUnknownOnly},
                  {&CLSID_PlainCounter, IDR_PLAINCOUNTER, &comserver::CreateObject<CPlainCounter>,
                   comserver::Aggregation::Refused}}) {}
};

CTestServerModule g_module;

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return g_module.DllGetClassObject(rclsid, riid, ppv);
}
STDAPI DllCanUnloadNow() { return g_module.DllCanUnloadNow(); }
STDAPI DllRegisterServer() { return g_module.DllRegisterServer(); }
STDAPI DllUnregisterServer() { return g_module.DllUnregisterServer(); }
STDAPI DllInstall(BOOL install, LPCWSTR commandLine) { return g_module.DllInstall(install, commandLine); }
// For the tests: the module's lock count.
STDAPI_(LONG) TestServerLockCount() { return g_module.LockCount(); }

#ifdef _WIN32
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) { return g_module.DllMain(reason); }
#endif
