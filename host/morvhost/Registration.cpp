// Loads a server library and runs its registration exports, explaining a library the loader refused
// or a damaged registry; finds the registrable libraries beside the program.
#include "Registration.h"

#include <windows.h>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "DebugOutputRecorder.h"
#include "HostError.h"
#include "comsupport/Bstr.h"
#include "comsupport/ComError.h"

namespace morvhost {
namespace {

using RegisterFunction = HRESULT(STDAPICALLTYPE*)();
using InstallFunction = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);

struct LibraryCloser {
    void operator()(HMODULE module) const {
        if (module) FreeLibrary(module);
    }
};
using Library = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryCloser>;

Library Load(const std::string& path) {
    comsupport::OleString wide = comsupport::OleFromUtf8(path);
    return Library(LoadLibraryW(wide.c_str()));
}

// Loads the library, or raises HostError with the loader's own reason: the
// system's message for the code says only that the module was not found.
Library LoadOrExplain(const std::string& path) {
    DWORD error;
    std::string reason;
    {
        DebugOutputRecorder recorder;
        if (Library library = Load(path)) return library;
        error = GetLastError();
        reason = recorder.LineAfter("wincompat loader: cannot load " + path + ": ");
    }
    if (reason.empty()) reason = HresultText(HRESULT_FROM_WIN32(error));
    throw HostError("cannot load " + path + ": " + reason);
}

// GetProcAddress hands out a generic function pointer; going through
// void (*)() tells the compiler the cast is meant.
template <typename Function>
Function ExportOf(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

bool IsSharedLibraryName(const std::string& name) {
    auto endsWith = [&](const char* suffix) {
        std::string s(suffix);
        return name.size() > s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0;
    };
    return endsWith(".so") || name.find(".so.") != std::string::npos || endsWith(".dll") || endsWith(".DLL");
}

}  // namespace

std::string HresultText(HRESULT hr) {
    char code[16];
    snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    std::string text = code;
    std::string message = comsupport::Utf8FromOle(comsupport::SystemMessageFor(hr));
    if (!message.empty()) text += " (" + message + ")";
    return text;
}

std::string ProgramFolder() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) throw HostError("cannot find the program's own folder");
    std::string program(path, static_cast<size_t>(length));
    return program.substr(0, program.rfind('/'));
}

std::vector<std::string> FindDeliverables(const std::string& folder) {
    std::vector<std::string> found;
    std::unique_ptr<DIR, int (*)(DIR*)> directory(opendir(folder.c_str()), &closedir);
    if (!directory) throw HostError("cannot read the folder " + folder);
    while (dirent* entry = readdir(directory.get())) {
        std::string name = entry->d_name;
        if (!IsSharedLibraryName(name)) continue;
        std::string path = folder + "/" + name;
        Library library = Load(path);
        if (library && GetProcAddress(library.get(), "DllRegisterServer")) found.push_back(path);
    }
    std::sort(found.begin(), found.end());
    return found;
}

void RunRegistration(const std::string& library, const RegistrationRequest& request) {
    Library module = LoadOrExplain(library);
    HRESULT hr;
    const char* exportName;
    if (request.perUser) {
        exportName = "DllInstall";
        auto install = ExportOf<InstallFunction>(module.get(), exportName);
        if (!install) throw HostError(library + " has no DllInstall export: it registers machine-wide only");
        hr = install(request.unregister ? FALSE : TRUE, OLESTR("user"));
    } else {
        exportName = request.unregister ? "DllUnregisterServer" : "DllRegisterServer";
        auto run = ExportOf<RegisterFunction>(module.get(), exportName);
        if (!run) throw HostError(library + " has no " + exportName + " export");
        hr = run();
    }
    if (hr == HRESULT_FROM_WIN32(ERROR_BADDB)) {
        std::string damage = RegistryDamage();
        if (!damage.empty()) throw HostError("the registry is damaged: " + damage);
    }
    if (FAILED(hr)) throw HostError(library + ": " + exportName + " failed with " + HresultText(hr));
}

void ThrowNotRegistered(const std::string& plugin) {
    std::string damage = RegistryDamage();
    if (!damage.empty()) throw HostError("the registry is damaged: " + damage);
    throw HostError("the " + plugin + " is not registered: run 'morvhost register' first");
}

}  // namespace morvhost
