// The module object: its lock count, one class factory per class made on the first request, and
// registration from the module's scripts and type library, machine-wide or, through DllInstall
// "user", for the current user.
#include "comserver/Module.h"

#include "comserver/ClassFactory.h"

namespace comserver {
namespace {

Module* g_currentModule = nullptr;

using RegisterTypeLibFunction = HRESULT(STDAPICALLTYPE*)(ITypeLib*, OLECHAR*, OLECHAR*);
using UnRegisterTypeLibFunction = HRESULT(STDAPICALLTYPE*)(REFGUID, WORD, WORD, LCID, SYSKIND);

// The per-user type-library functions are looked up at run time: older systems lack them.
FARPROC OleAutomationFunction(const char* name) {
    HMODULE oleaut = GetModuleHandleW(OLESTR("OLEAUT32.DLL"));
    return oleaut ? GetProcAddress(oleaut, name) : nullptr;
}

template <typename Function>
Function AsFunction(FARPROC proc) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

// "user", without regard to case, compared over five characters including the terminating NUL.
bool IsUserCommandLine(LPCWSTR commandLine) {
    if (!commandLine) return false;
    static const OLECHAR kUser[5] = {'u', 's', 'e', 'r', 0};
    for (int i = 0; i < 5; ++i) {
        OLECHAR c = commandLine[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<OLECHAR>(c - 'A' + 'a');
        if (c != kUser[i]) return false;
        if (c == 0) break;
    }
    return true;
}

// Holds a type library for the duration of a call.
class TypeLibReference {
public:
    ~TypeLibReference() {
        if (lib_) lib_->Release();
    }
    ITypeLib** Out() { return &lib_; }
    ITypeLib* get() const { return lib_; }

private:
    ITypeLib* lib_ = nullptr;
};

}  // namespace

Module::Module(ModuleSettings settings, std::vector<ObjectEntry> objects)
    : settings_(std::move(settings)), objects_(std::move(objects)) {
    for (ObjectEntry& entry : objects_) entry.cachedFactory = nullptr;
    initialized_ = InitializeCriticalSectionAndSpinCount(&lock_, 0) != FALSE;
    g_currentModule = this;
}

Module::~Module() {
    for (ObjectEntry& entry : objects_) {
        if (entry.cachedFactory) {
            entry.cachedFactory->Release();
            entry.cachedFactory = nullptr;
        }
    }
    if (initialized_) DeleteCriticalSection(&lock_);
    if (g_currentModule == this) g_currentModule = nullptr;
}

Module* Module::Current() { return g_currentModule; }

HMODULE Module::ModuleHandle() const {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&g_currentModule), &module);
    return module;
}

LONG Module::Lock() { return InterlockedIncrement(&lockCount_); }
LONG Module::Unlock() { return InterlockedDecrement(&lockCount_); }
LONG Module::LockCount() const { return InterlockedCompareExchange(&lockCount_, 0, 0); }

HRESULT Module::DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!initialized_) return E_UNEXPECTED;
    ObjectEntry* entry = nullptr;
    for (ObjectEntry& candidate : objects_)
        if (IsEqualGUID(*candidate.clsid, rclsid)) entry = &candidate;
    if (!entry) return CLASS_E_CLASSNOTAVAILABLE;
    auto* slot = reinterpret_cast<PVOID volatile*>(&entry->cachedFactory);
    auto* factory = static_cast<IClassFactory*>(InterlockedCompareExchangePointer(slot, nullptr, nullptr));
    if (!factory) {
        // Checked again under the lock, so that concurrent first calls make exactly one factory.
        EnterCriticalSection(&lock_);
        factory = static_cast<IClassFactory*>(InterlockedCompareExchangePointer(slot, nullptr, nullptr));
        HRESULT hr = S_OK;
        if (!factory) {
            FactoryCreator create = entry->createFactory ? entry->createFactory : &ClassFactory::Create;
            hr = create(*this, *entry, &factory);
            if (SUCCEEDED(hr) && factory) InterlockedCompareExchangePointer(slot, factory, nullptr);
        }
        LeaveCriticalSection(&lock_);
        if (FAILED(hr)) return hr;
        if (!factory) return E_OUTOFMEMORY;
    }
    HRESULT hr = factory->QueryInterface(riid, ppv);
    if (SUCCEEDED(hr) && !*ppv) hr = CLASS_E_CLASSNOTAVAILABLE;
    return hr;
}

HRESULT Module::DllCanUnloadNow() const { return LockCount() == 0 ? S_OK : S_FALSE; }

HRESULT Module::ModulePath(std::basic_string<OLECHAR>& path) const {
    OLECHAR buffer[MAX_PATH];
    DWORD length = GetModuleFileNameW(ModuleHandle(), buffer, MAX_PATH);
    if (length == 0) {
        DWORD error = GetLastError();
        return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    path.assign(buffer, length);
    return S_OK;
}

HRESULT Module::UpdateRegistryFromResource(UINT resourceId, bool registering) {
    std::basic_string<OLECHAR> path;
    HRESULT hr = ModulePath(path);
    if (FAILED(hr)) return hr;
    Registrar registrar;
    registrar.SetPerUser(perUser_);
    registrar.AddReplacement(OLESTR("Module"), path.c_str());
    registrar.AddReplacement(OLESTR("Module_Raw"), path.c_str());
    for (const Replacement& replacement : settings_.replacements)
        registrar.AddReplacement(replacement.name.c_str(), replacement.value.c_str());
    return registrar.RunResource(ModuleHandle(), resourceId, registering);
}

HRESULT Module::RegisterTypeLibrary() {
    std::basic_string<OLECHAR> path;
    HRESULT hr = ModulePath(path);
    if (FAILED(hr)) return hr;
    TypeLibReference typeLib;
    hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, typeLib.Out());
    if (FAILED(hr)) return hr;
    // The help directory is the module's folder.
    std::basic_string<OLECHAR> directory = path.substr(0, path.find_last_of(OLESTR("\\/")) + 1);
    if (directory.size() > 1) directory.pop_back();
    auto registerFunction = &RegisterTypeLib;
    if (perUser_) {
        if (FARPROC proc = OleAutomationFunction("RegisterTypeLibForUser"))
            registerFunction = AsFunction<RegisterTypeLibFunction>(proc);
    }
    return registerFunction(typeLib.get(), &path[0], directory.empty() ? nullptr : &directory[0]);
}

HRESULT Module::UnregisterTypeLibrary() {
    std::basic_string<OLECHAR> path;
    HRESULT hr = ModulePath(path);
    if (FAILED(hr)) return hr;
    TypeLibReference typeLib;
    hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, typeLib.Out());
    if (FAILED(hr)) return hr;
    TLIBATTR* attributes = nullptr;
    hr = typeLib.get()->GetLibAttr(&attributes);
    if (FAILED(hr)) return hr;
    TLIBATTR attr = *attributes;
    typeLib.get()->ReleaseTLibAttr(attributes);
    auto unregisterFunction = &UnRegisterTypeLib;
    if (perUser_) {
        if (FARPROC proc = OleAutomationFunction("UnRegisterTypeLibForUser"))
            unregisterFunction = AsFunction<UnRegisterTypeLibFunction>(proc);
    }
    hr = unregisterFunction(attr.guid, attr.wMajorVerNum, attr.wMinorVerNum, attr.lcid, attr.syskind);
    // A library that is not registered leaves nothing to remove.
    return hr == TYPE_E_REGISTRYACCESS ? S_OK : hr;
}

HRESULT Module::DllRegisterServer() {
    ThreadLocaleGuard locale(LOCALE_SYSTEM_DEFAULT);
    HRESULT hr = S_OK;
    if (settings_.moduleScriptId) hr = UpdateRegistryFromResource(settings_.moduleScriptId, true);
    for (const ObjectEntry& entry : objects_) {
        if (FAILED(hr)) break;
        if (entry.registryScriptId) hr = UpdateRegistryFromResource(entry.registryScriptId, true);
    }
    if (SUCCEEDED(hr) && settings_.libid) hr = RegisterTypeLibrary();
    return FAILED(hr) ? hr : S_OK;
}

HRESULT Module::DllUnregisterServer() {
    ThreadLocaleGuard locale(LOCALE_SYSTEM_DEFAULT);
    HRESULT hr = S_OK;
    for (const ObjectEntry& entry : objects_) {
        if (FAILED(hr)) break;
        if (entry.registryScriptId) hr = UpdateRegistryFromResource(entry.registryScriptId, false);
    }
    if (SUCCEEDED(hr) && settings_.libid) hr = UnregisterTypeLibrary();
    if (SUCCEEDED(hr) && settings_.moduleScriptId) hr = UpdateRegistryFromResource(settings_.moduleScriptId, false);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT Module::DllInstall(BOOL install, LPCWSTR commandLine) {
    if (IsUserCommandLine(commandLine)) SetPerUserRegistration();
    if (!install) return DllUnregisterServer();
    HRESULT hr = DllRegisterServer();
    if (FAILED(hr)) DllUnregisterServer();  // roll back whatever part was written
    return hr;
}

BOOL Module::DllMain(DWORD reason) {
    if (reason == DLL_PROCESS_ATTACH) return initialized_ ? TRUE : FALSE;
    return TRUE;
}

}  // namespace comserver
