// The module object of an in-process COM server: lock count, object table with
// lazily created class factories, the export entry points and registration.
//
// A server defines one module object at namespace scope and forwards its exports:
//
//   class CThingModule : public comserver::Module {
//   public:
//       CThingModule()
//           : Module({&LIBID_ThingLib, IDR_MODULE_SCRIPT, {{OLESTR("APPID"), OLESTR("{...}")}}},
//                    {{&CLSID_Thing, IDR_THING_SCRIPT, &comserver::CreateObject<CThing>,
//                      comserver::Aggregation::Refused}}) {}
//   };
//   CThingModule _Module;
//   STDAPI DllGetClassObject(REFCLSID c, REFIID i, LPVOID* p) { return _Module.DllGetClassObject(c, i, p); }
//   STDAPI DllCanUnloadNow() { return _Module.DllCanUnloadNow(); }
//   STDAPI DllRegisterServer() { return _Module.DllRegisterServer(); }
//   STDAPI DllUnregisterServer() { return _Module.DllUnregisterServer(); }
//   STDAPI DllInstall(BOOL i, LPCWSTR c) { return _Module.DllInstall(i, c); }
//   #ifdef _WIN32
//   BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) { return _Module.DllMain(reason); }
//   #endif
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "comserver/Registrar.h"

namespace comserver {

class Module;
struct ObjectEntry;

// Creates an instance; a non-null outer object asks for the aggregated form.
using InstanceCreator = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);
// Creates a class factory holding one reference (the module's).
using FactoryCreator = HRESULT (*)(Module& module, const ObjectEntry& entry, IClassFactory** factory);

// What the class factory's CreateInstance does with an outer object.
enum class Aggregation {
    Refused,      // any outer object: CLASS_E_NOAGGREGATION
    IUnknownOnly  // an outer object with IID_IUnknown builds the aggregated form; other IIDs are refused
};

// One row of the object table.
struct ObjectEntry {
    const CLSID* clsid;
    UINT registryScriptId;  // "REGISTRY" resource id of the class script; 0: none
    InstanceCreator createInstance;
    Aggregation aggregation;
    FactoryCreator createFactory = nullptr;  // null: comserver::ClassFactory
    IClassFactory* cachedFactory = nullptr;  // created once, on first use, under the module's lock
};

struct ModuleSettings {
    const GUID* libid = nullptr;            // type library in "TYPELIB" resource 1; null: none
    UINT moduleScriptId = 0;                // "REGISTRY" resource id of the module script; 0: none
    std::vector<Replacement> replacements;  // script variables beyond "Module" and "Module_Raw"
};

// Sets the calling thread's locale for the lifetime of the guard, then restores it.
class ThreadLocaleGuard {
public:
    explicit ThreadLocaleGuard(LCID locale) : saved_(GetThreadLocale()) { SetThreadLocale(locale); }
    ~ThreadLocaleGuard() { SetThreadLocale(saved_); }
    ThreadLocaleGuard(const ThreadLocaleGuard&) = delete;
    ThreadLocaleGuard& operator=(const ThreadLocaleGuard&) = delete;

private:
    LCID saved_;
};

class Module {
public:
    Module(ModuleSettings settings, std::vector<ObjectEntry> objects);
    virtual ~Module();  // releases the cached class factories
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    // The module object of this server (one per shared library / DLL); null before construction.
    static Module* Current();

    bool Initialized() const { return initialized_; }
    HMODULE ModuleHandle() const;  // the shared library / DLL that holds this code
    const GUID* LibId() const { return settings_.libid; }

    LONG Lock();
    LONG Unlock();
    LONG LockCount() const;

    // Export helpers, with the behaviour of the standard entry points.
    HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
    HRESULT DllCanUnloadNow() const;
    HRESULT DllRegisterServer();
    HRESULT DllUnregisterServer();
    // "user" (any case, exactly) selects per-user registration for the rest of the process.
    HRESULT DllInstall(BOOL install, LPCWSTR commandLine);
    // Windows: call from DllMain; FALSE at process attach when initialisation failed.
    BOOL DllMain(DWORD reason);

    void SetPerUserRegistration() { perUser_ = true; }
    bool PerUserRegistration() const { return perUser_; }

    // Runs a "REGISTRY" script of this module with the module's replacements.
    HRESULT UpdateRegistryFromResource(UINT resourceId, bool registering);
    // The full path of this module; HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) past MAX_PATH - 1 characters.
    HRESULT ModulePath(std::basic_string<OLECHAR>& path) const;
    // Registers or removes "TYPELIB" resource 1 (per user when that mode is set).
    HRESULT RegisterTypeLibrary();
    HRESULT UnregisterTypeLibrary();

    const std::vector<ObjectEntry>& Objects() const { return objects_; }

private:
    ModuleSettings settings_;
    std::vector<ObjectEntry> objects_;
    CRITICAL_SECTION lock_;
    bool initialized_ = false;
    bool perUser_ = false;
    mutable LONG lockCount_ = 0;
};

}  // namespace comserver
