// The module of marlind32.dll: its one class, its registration and its exports.
#include "MarlindPlugin.h"
#include "comserver/Module.h"
#include "resource.h"

namespace {

class CMarlindModule : public comserver::Module {
public:
    CMarlindModule()
        : Module({&LIBID_MarlindLib, IDR_MARLIND, {}},
                 {{&CLSID_MarlindPlugin, IDR_MARLINDPLUGIN, &comserver::CreateObject<CMarlindPlugin>,
                   comserver::Aggregation::Refused}}) {}
};

CMarlindModule _Module;

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return _Module.DllGetClassObject(rclsid, riid, ppv);
}
STDAPI DllCanUnloadNow() { return _Module.DllCanUnloadNow(); }
STDAPI DllRegisterServer() { return _Module.DllRegisterServer(); }
STDAPI DllUnregisterServer() { return _Module.DllUnregisterServer(); }
// "user" (any case) registers for the current user, for the rest of the process.
STDAPI DllInstall(BOOL bInstall, LPCWSTR pszCmdLine) { return _Module.DllInstall(bInstall, pszCmdLine); }

#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) { return _Module.DllMain(reason); }
#endif
