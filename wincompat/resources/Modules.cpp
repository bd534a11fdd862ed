// Modules: a module is a shared library (or the program), named by the address
// where it is mapped, as an HMODULE is on Windows. dlopen keeps the reference
// counts, so LoadLibrary/FreeLibrary pairs need no table of their own.
#include <windows.h>

#include <dlfcn.h>
#include <link.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "common/CaseCompare.h"
#include "common/Utf.h"

namespace {

void Report(const std::string& message) {
    std::string text = "wincompat loader: " + message + "\n";
    OutputDebugStringA(text.c_str());
}

// The system DLLs whose functions wincompat provides.
bool IsSystemModuleName(const std::u16string& name) {
    std::u16string folded = wincompat::Folded(name);
    static const char16_t* const kNames[] = {u"kernel32", u"ole32",      u"oleaut32", u"advapi32",
                                             u"user32",   u"kernelbase", u"combase",  u"rpcrt4"};
    for (const char16_t* known : kNames) {
        std::u16string base(known);
        if (folded == base || folded == base + u".dll") return true;
    }
    return false;
}

HMODULE WincompatModule() {
    Dl_info info{};
    dladdr(reinterpret_cast<const void*>(&IsSystemModuleName), &info);
    return static_cast<HMODULE>(info.dli_fbase);
}

struct ProgramBase {
    HMODULE base = nullptr;
};

int FindProgram(struct dl_phdr_info* info, size_t, void* data) {
    auto* result = static_cast<ProgramBase*>(data);
    ElfW(Addr) lowest = ~ElfW(Addr)(0);
    for (int i = 0; i < info->dlpi_phnum; ++i)
        if (info->dlpi_phdr[i].p_type == PT_LOAD && info->dlpi_phdr[i].p_vaddr < lowest)
            lowest = info->dlpi_phdr[i].p_vaddr;
    if (lowest == ~ElfW(Addr)(0)) lowest = 0;
    ElfW(Addr) page = static_cast<ElfW(Addr)>(sysconf(_SC_PAGESIZE));
    result->base = reinterpret_cast<HMODULE>(info->dlpi_addr + (lowest & ~(page - 1)));
    return 1;  // the first object is the program
}

HMODULE ProgramModule() {
    ProgramBase result;
    dl_iterate_phdr(&FindProgram, &result);
    return result.base;
}

// The file of a module, or empty when the handle names no loaded module.
std::string ModuleFile(HMODULE module) {
    if (!module || module == ProgramModule()) {
        char path[PATH_MAX];
        ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
        if (n <= 0) return std::string();
        return std::string(path, static_cast<size_t>(n));
    }
    Dl_info info{};
    if (!dladdr(module, &info) || info.dli_fbase != module || !info.dli_fname) return std::string();
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved)) return resolved;
    return info.dli_fname;
}

HMODULE BaseOfHandle(void* handle) {
    struct link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map) return nullptr;
    Dl_info info{};
    if (!dladdr(map->l_ld, &info)) return nullptr;
    return static_cast<HMODULE>(info.dli_fbase);
}

struct FindByName {
    std::string wanted;  // a full path, or a file name
    bool byPath;
    HMODULE found = nullptr;
};

int MatchLoaded(struct dl_phdr_info* info, size_t, void* data) {
    auto* search = static_cast<FindByName*>(data);
    if (!info->dlpi_name || !*info->dlpi_name) return 0;
    std::string name = info->dlpi_name;
    bool match;
    if (search->byPath) {
        char resolved[PATH_MAX];
        match = name == search->wanted || (realpath(name.c_str(), resolved) && search->wanted == resolved);
    } else {
        std::string file = name.substr(name.rfind('/') + 1);
        std::u16string a = wincompat::Folded(wincompat::Utf8ToUtf16(file));
        std::u16string b = wincompat::Folded(wincompat::Utf8ToUtf16(search->wanted));
        match = a == b || a == b + u".so";
    }
    if (!match) return 0;
    void* handle = dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD);
    if (handle) {
        search->found = BaseOfHandle(handle);
        dlclose(handle);
    }
    return search->found ? 1 : 0;
}

// A dlopen handle for a loaded module (one more reference; close it).
void* HandleOf(HMODULE module) {
    if (!module || module == ProgramModule()) return dlopen(nullptr, RTLD_NOW);
    Dl_info info{};
    if (!dladdr(module, &info) || info.dli_fbase != module) return nullptr;
    return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
}

}  // namespace

extern "C" HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE, DWORD) {
    if (!lpLibFileName || !*lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::u16string name(lpLibFileName);
    if (IsSystemModuleName(name)) return WincompatModule();
    std::string path = wincompat::Utf16ToUtf8(name);
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        Report("cannot load " + path + ": " + (why ? why : "unknown error"));
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    HMODULE module = BaseOfHandle(handle);
    if (!module) {
        dlclose(handle);
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return module;  // the dlopen reference stays until FreeLibrary
}

extern "C" HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) { return LoadLibraryExW(lpLibFileName, nullptr, 0); }

extern "C" BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    if (hLibModule == WincompatModule() || hLibModule == ProgramModule()) return TRUE;
    void* handle = HandleOf(hLibModule);
    if (!handle) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    dlclose(handle);  // the reference HandleOf took
    dlclose(handle);  // the reference LoadLibrary took
    return TRUE;
}

extern "C" FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    if (!lpProcName || IS_INTRESOURCE(lpProcName)) {
        SetLastError(ERROR_PROC_NOT_FOUND);  // exports have no ordinals here
        return nullptr;
    }
    void* handle = HandleOf(hModule);
    if (!handle) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    dlerror();
    void* symbol = dlsym(handle, lpProcName);
    dlclose(handle);
    if (!symbol) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    FARPROC proc;
    static_assert(sizeof proc == sizeof symbol, "function and data pointers differ in size");
    memcpy(&proc, &symbol, sizeof proc);
    return proc;
}

extern "C" HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
    if (!lpModuleName) return ProgramModule();
    std::u16string name(lpModuleName);
    if (IsSystemModuleName(name)) return WincompatModule();
    std::string utf8 = wincompat::Utf16ToUtf8(name);
    FindByName search{utf8, utf8.find('/') != std::string::npos};
    if (search.byPath) {
        char resolved[PATH_MAX];
        if (realpath(utf8.c_str(), resolved)) search.wanted = resolved;
    }
    dl_iterate_phdr(&MatchLoaded, &search);
    if (!search.found) SetLastError(ERROR_MOD_NOT_FOUND);
    return search.found;
}

extern "C" BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule) {
    if (!phModule) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *phModule = nullptr;
    HMODULE module;
    if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
        Dl_info info{};
        if (!dladdr(reinterpret_cast<const void*>(lpModuleName), &info) || !info.dli_fbase) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
        module = static_cast<HMODULE>(info.dli_fbase);
    } else {
        module = GetModuleHandleW(lpModuleName);
        if (!module) return FALSE;
    }
    if (!(dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) && module != WincompatModule() &&
        module != ProgramModule()) {
        Dl_info info{};
        dladdr(module, &info);
        int mode = RTLD_NOW | RTLD_NOLOAD | ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN) ? RTLD_NODELETE : 0);
        if (info.dli_fname) dlopen(info.dli_fname, mode);  // the caller's reference, released by FreeLibrary
    }
    *phModule = module;
    return TRUE;
}

extern "C" DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    std::string file = ModuleFile(hModule);
    if (file.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (!lpFilename || nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::u16string wide = wincompat::Utf8ToUtf16(file);
    if (wide.size() + 1 > nSize) {
        // As Windows does: truncated, terminated, the buffer size returned.
        std::copy(wide.begin(), wide.begin() + (nSize - 1), lpFilename);
        lpFilename[nSize - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::copy(wide.begin(), wide.end(), lpFilename);
    lpFilename[wide.size()] = 0;
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(wide.size());
}

// Linux sends no per-thread notifications to libraries: nothing to switch off.
extern "C" BOOL WINAPI DisableThreadLibraryCalls(HMODULE) { return TRUE; }
