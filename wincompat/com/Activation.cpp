// COM activation: built-in classes first, then the registry. A class
// registered under HKCR\CLSID\{...}\InprocServer32 is served by the shared
// library named there, loaded once per process and asked through its exported
// DllGetClassObject; CoFreeUnusedLibraries unloads the libraries whose
// DllCanUnloadNow answers S_OK.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "com/BuiltinClasses.h"
#include "com/SingleInterfaceObject.h"
#include "common/Utf.h"

namespace {

using DllGetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
using DllCanUnloadNowFunction = HRESULT (*)();

void Report(const std::string& message) {
    std::string text = "wincompat COM: " + message + "\n";
    OutputDebugStringA(text.c_str());
}

std::u16string GuidText(REFGUID guid) {
    OLECHAR text[39];
    StringFromGUID2(guid, text, 39);
    return text;
}

// ---- apartments: only the per-thread counting is kept; every apartment is the process ----

struct ThreadApartment {
    ULONG initCount = 0;
    bool singleThreaded = false;
};
thread_local ThreadApartment tls_apartment;

// ---- registry look-ups ----

// A string value of HKCR\<path> ("" = default value); false when missing.
bool ReadClassesString(const std::u16string& path, const char16_t* valueName, std::u16string& out) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 0;
    bool ok = RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
              (type == REG_SZ || type == REG_EXPAND_SZ);
    if (ok) {
        std::u16string buffer(size / sizeof(char16_t) + 1, u'\0');
        DWORD bytes = size;
        ok = RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]), &bytes) ==
             ERROR_SUCCESS;
        buffer.resize(bytes / sizeof(char16_t));
        while (!buffer.empty() && buffer.back() == 0) buffer.pop_back();
        if (type == REG_EXPAND_SZ) {
            // %NAME% takes the environment variable's value, as ExpandEnvironmentStrings does.
            std::u16string expanded;
            for (size_t i = 0; i < buffer.size(); ++i) {
                size_t end = buffer[i] == u'%' ? buffer.find(u'%', i + 1) : std::u16string::npos;
                if (end == std::u16string::npos) {
                    expanded.push_back(buffer[i]);
                    continue;
                }
                std::string name = wincompat::Utf16ToUtf8(buffer.substr(i + 1, end - i - 1));
                if (const char* value = getenv(name.c_str())) {
                    expanded += wincompat::Utf8ToUtf16(value);
                    i = end;
                } else {
                    expanded.push_back(buffer[i]);
                }
            }
            buffer = expanded;
        }
        out = buffer;
    }
    RegCloseKey(key);
    return ok;
}

// ---- in-process server libraries ----

struct ServerLibrary {
    HMODULE module = nullptr;
    DllGetClassObjectFunction getClassObject = nullptr;
    DllCanUnloadNowFunction canUnloadNow = nullptr;
    int callsInProgress = 0;  // DllGetClassObject calls running now: never unload under them
};

struct LibraryTable {
    std::mutex lock;
    std::map<std::string, ServerLibrary> byPath;
};

LibraryTable& Libraries() {
    static LibraryTable* table = new LibraryTable;
    return *table;
}

template <typename Function>
Function Export(HMODULE module, const char* name) {
    FARPROC proc = GetProcAddress(module, name);
    Function function = nullptr;
    static_assert(sizeof function == sizeof proc, "function pointer sizes differ");
    memcpy(&function, &proc, sizeof function);
    return function;
}

// Loads the library on first use and pins it while its DllGetClassObject runs.
HRESULT PinLibrary(const std::u16string& path, std::string& key, DllGetClassObjectFunction& getClassObject) {
    key = wincompat::Utf16ToUtf8(path);
    LibraryTable& table = Libraries();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.byPath.find(key);
    if (it == table.byPath.end()) {
        HMODULE module = LoadLibraryW(path.c_str());
        if (!module) {
            Report("the in-process server " + key + " does not load");
            return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
        }
        ServerLibrary library;
        library.module = module;
        library.getClassObject = Export<DllGetClassObjectFunction>(module, "DllGetClassObject");
        library.canUnloadNow = Export<DllCanUnloadNowFunction>(module, "DllCanUnloadNow");
        if (!library.getClassObject) {
            Report("the in-process server " + key + " exports no DllGetClassObject");
            FreeLibrary(module);
            return CO_E_ERRORINDLL;
        }
        it = table.byPath.emplace(key, library).first;
    }
    ++it->second.callsInProgress;
    getClassObject = it->second.getClassObject;
    return S_OK;
}

void UnpinLibrary(const std::string& key) {
    LibraryTable& table = Libraries();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.byPath.find(key);
    if (it != table.byPath.end()) --it->second.callsInProgress;
}

HRESULT GetRegisteredClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    std::u16string classKey = u"CLSID\\" + GuidText(rclsid);
    std::u16string path;
    if (!ReadClassesString(classKey + u"\\InprocServer32", u"", path) || path.empty()) return REGDB_E_CLASSNOTREG;
    std::string key;
    DllGetClassObjectFunction getClassObject = nullptr;
    HRESULT hr = PinLibrary(path, key, getClassObject);
    if (FAILED(hr)) return hr;
    hr = getClassObject(rclsid, riid, ppv);
    UnpinLibrary(key);
    if (SUCCEEDED(hr) && !*ppv) hr = CLASS_E_CLASSNOTAVAILABLE;
    return hr;
}

// A built-in class handed out through CoGetClassObject. wincompat never unloads,
// so the factory holds no lock of its own.
class BuiltinClassFactory final : public wincompat::SingleInterfaceObject<IClassFactory, IID_IClassFactory> {
public:
    explicit BuiltinClassFactory(wincompat::InstanceCreator create) : create_(create) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override {
        if (!ppvObject) return E_POINTER;
        *ppvObject = nullptr;
        return create_(pUnkOuter, riid, ppvObject);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    ~BuiltinClassFactory() override = default;
    wincompat::InstanceCreator create_;
};

bool InprocContext(DWORD context) { return (context & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)) != 0; }

HRESULT CopyToTaskMemory(const std::u16string& text, LPOLESTR* out) {
    *out = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
    if (!*out) return E_OUTOFMEMORY;
    std::copy(text.begin(), text.end(), *out);
    (*out)[text.size()] = 0;
    return S_OK;
}

}  // namespace

extern "C" HRESULT STDAPICALLTYPE CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    if (pvReserved) return E_INVALIDARG;
    bool singleThreaded = (dwCoInit & COINIT_APARTMENTTHREADED) != 0;
    ThreadApartment& apartment = tls_apartment;
    if (apartment.initCount == 0) {
        apartment.singleThreaded = singleThreaded;
        apartment.initCount = 1;
        return S_OK;
    }
    if (apartment.singleThreaded != singleThreaded) return RPC_E_CHANGED_MODE;
    ++apartment.initCount;
    return S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE CoInitialize(LPVOID pvReserved) {
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

extern "C" void STDAPICALLTYPE CoUninitialize(void) {
    ThreadApartment& apartment = tls_apartment;
    if (apartment.initCount > 0) --apartment.initCount;
}

extern "C" HRESULT STDAPICALLTYPE CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
    if (!lpszProgID || !lpclsid) return E_INVALIDARG;
    if (const wincompat::BuiltinClass* builtin = wincompat::FindBuiltinClassByProgId(lpszProgID)) {
        *lpclsid = builtin->clsid;
        return S_OK;
    }
    *lpclsid = GUID_NULL;
    std::u16string progId(lpszProgID);
    if (progId.empty() || progId.find(u'\\') != std::u16string::npos) return CO_E_CLASSSTRING;
    std::u16string text;
    // A version-independent ProgID without its own CLSID key leads on through CurVer.
    if (!ReadClassesString(progId + u"\\CLSID", u"", text)) {
        std::u16string current;
        if (!ReadClassesString(progId + u"\\CurVer", u"", current) || current.empty() ||
            current.find(u'\\') != std::u16string::npos || !ReadClassesString(current + u"\\CLSID", u"", text))
            return CO_E_CLASSSTRING;
    }
    CLSID clsid;
    if (text.empty() || text[0] != u'{' || FAILED(CLSIDFromString(text.c_str(), &clsid))) return CO_E_CLASSSTRING;
    *lpclsid = clsid;
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (!lplpszProgID) return E_INVALIDARG;
    *lplpszProgID = nullptr;
    if (const wincompat::BuiltinClass* builtin = wincompat::FindBuiltinClass(clsid)) {
        if (builtin->progIds.empty()) return REGDB_E_CLASSNOTREG;
        return CopyToTaskMemory(builtin->progIds.front(), lplpszProgID);
    }
    std::u16string progId;
    if (!ReadClassesString(u"CLSID\\" + GuidText(clsid) + u"\\ProgID", u"", progId) || progId.empty())
        return REGDB_E_CLASSNOTREG;
    return CopyToTaskMemory(progId, lplpszProgID);
}

extern "C" HRESULT STDAPICALLTYPE CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid,
                                                   LPVOID* ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (!InprocContext(dwClsContext)) return REGDB_E_CLASSNOTREG;  // there are no local or remote servers here
    if (const wincompat::BuiltinClass* builtin = wincompat::FindBuiltinClass(rclsid)) {
        auto* factory = new (std::nothrow) BuiltinClassFactory(builtin->create);
        if (!factory) return E_OUTOFMEMORY;
        HRESULT hr = factory->QueryInterface(riid, ppv);
        factory->Release();
        return hr;
    }
    return GetRegisteredClassObject(rclsid, riid, ppv);
}

extern "C" HRESULT STDAPICALLTYPE CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                                   REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!InprocContext(dwClsContext)) return REGDB_E_CLASSNOTREG;
    if (const wincompat::BuiltinClass* builtin = wincompat::FindBuiltinClass(rclsid))
        return builtin->create(pUnkOuter, riid, ppv);
    IClassFactory* factory = nullptr;
    HRESULT hr = GetRegisteredClassObject(rclsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    return hr;
}

// Unloads at once (Windows waits some minutes before unloading a library of a
// multi-threaded apartment; nothing here needs that grace period).
extern "C" void STDAPICALLTYPE CoFreeUnusedLibraries(void) {
    LibraryTable& table = Libraries();
    std::lock_guard<std::mutex> guard(table.lock);
    for (auto it = table.byPath.begin(); it != table.byPath.end();) {
        ServerLibrary& library = it->second;
        if (library.callsInProgress == 0 && library.canUnloadNow && library.canUnloadNow() == S_OK) {
            FreeLibrary(library.module);
            it = table.byPath.erase(it);
        } else {
            ++it;
        }
    }
}
