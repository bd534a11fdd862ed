// The module of Quillet.DLL: its one class, its registration and its exports.
#include "QuilletObj.h"
#include "comserver/Module.h"
#include "resource.h"

namespace {

class CQuilletModule : public comserver::Module {
public:
    CQuilletModule()
        : Module(
              {&LIBID_QuilletLib, IDR_QUILLET, {{OLESTR("APPID"), OLESTR("{3B841D8C-3E27-41C4-BC51-936D1B24B807}")}}},
              {{&CLSID_QuilletObj, IDR_QUILLETOBJ, &comserver::CreateObject<CQuilletObj>,
                comserver::Aggregation::IUnknownOnly}}) {}
};

CQuilletModule _Module;

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return _Module.DllGetClassObject(rclsid, riid, ppv);
}
STDAPI DllCanUnloadNow() { return _Module.DllCanUnloadNow(); }
STDAPI DllRegisterServer() { return _Module.DllRegisterServer(); }
STDAPI DllUnregisterServer() { return _Module.DllUnregisterServer(); }

#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) { return _Module.DllMain(reason); }
#endif
