// Registration as an installer does it (regsvr32), read back with the
// registry API and written in the registry-export format, so that it compares
// with what the Linux build writes for the same DLL.
#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "Checks.h"
#include "ComHelpers.h"
#include "Plugins.h"
#include "StatementLogWriter.h"

namespace windows_test {
namespace {

const wchar_t kClasses[] = L"Software\\Classes";
const wchar_t kExportedClasses[] = L"HKEY_LOCAL_MACHINE\\Software\\Classes";

class Key {
public:
    Key(HKEY parent, const std::wstring& path) {
        if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    ~Key() {
        if (key_) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY Get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }
    std::wstring Default(const wchar_t* name = nullptr) const {
        wchar_t buffer[1024];
        DWORD size = sizeof buffer;
        DWORD type = 0;
        if (!key_ ||
            RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
            type != REG_SZ)
            return std::wstring();
        return std::wstring(buffer, size / sizeof(wchar_t)).c_str();
    }

private:
    HKEY key_ = nullptr;
};

bool KeyExists(HKEY root, const std::wstring& path) { return static_cast<bool>(Key(root, path)); }

std::wstring Quoted(const std::wstring& text) {
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') out += L'\\';
        out += c;
    }
    return out + L"\"";
}

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// Writes `path` (under HKLM\Software\Classes) and its subkeys in .reg
// notation; the module's path and folder are written as <module> and
// <module folder>, which the comparison reads the same way.
class RegistryExport {
public:
    RegistryExport(std::wstring module, std::wstring folder) : module_(std::move(module)), folder_(std::move(folder)) {}

    void Add(const std::wstring& path) {
        if (!exported_.insert(path).second) return;
        Key key(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"\\" + path);
        if (!key) return;
        text_ += L"\n[" + std::wstring(kExportedClasses) + L"\\" + path + L"]\n";
        std::vector<std::pair<std::wstring, std::wstring>> values;
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD nameLength = 256;
            BYTE data[2048];
            DWORD size = sizeof data;
            DWORD type = 0;
            if (RegEnumValueW(key.Get(), i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
            values.emplace_back(nameLength ? Quoted(name) : L"@", Data(type, data, size));
        }
        std::sort(values.begin(), values.end());
        for (const auto& value : values) text_ += value.first + L"=" + value.second + L"\n";
        std::vector<std::wstring> subkeys;
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD nameLength = 256;
            if (RegEnumKeyExW(key.Get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            subkeys.emplace_back(name, nameLength);
        }
        std::sort(subkeys.begin(), subkeys.end());
        for (const std::wstring& subkey : subkeys) Add(path + L"\\" + subkey);
    }

    bool WriteTo(const std::wstring& file) const {
        std::FILE* out = _wfopen(file.c_str(), L"wb");
        if (!out) return false;
        const std::string text = Utf8(L"Windows Registry Editor Version 5.00\n" + text_);
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
        return true;
    }

private:
    std::wstring Data(DWORD type, const BYTE* data, DWORD size) const {
        if (type == REG_SZ) {
            std::wstring text(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
            text = text.c_str();  // without the terminating NUL
            if (EqualsIgnoringCase(text, module_))
                text = L"<module>";
            else if (EqualsIgnoringCase(text, folder_) || EqualsIgnoringCase(text, folder_ + L"\\"))
                text = L"<module folder>";
            return Quoted(text);
        }
        wchar_t buffer[16];
        if (type == REG_DWORD && size == 4) {
            std::swprintf(buffer, 16, L"dword:%08lx", *reinterpret_cast<const DWORD*>(data));
            return buffer;
        }
        std::swprintf(buffer, 16, L"hex(%lx):", type);
        std::wstring out = buffer;
        for (DWORD i = 0; i < size; ++i) {
            std::swprintf(buffer, 16, i ? L",%02x" : L"%02x", data[i]);
            out += buffer;
        }
        return out;
    }

    std::wstring module_, folder_, text_;
    std::set<std::wstring> exported_;
};

std::wstring FullPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, buffer, nullptr);
    return length && length < MAX_PATH ? std::wstring(buffer, length) : path;
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

// What registering `clsid` wrote: its CLSID key, its AppID (by identity and
// by the DLL's file name), its ProgIDs, its type library and the interfaces
// that type library describes.
void ExportRegistration(const CLSID& clsid, const std::wstring& module, const std::wstring& file) {
    const std::wstring folder = module.substr(0, module.find_last_of(L'\\'));
    RegistryExport out(module, folder);
    const std::wstring clsidPath = L"CLSID\\" + GuidText(clsid);
    out.Add(clsidPath);
    const std::wstring appId = Key(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"\\" + clsidPath).Default(L"AppID");
    if (!appId.empty()) out.Add(L"AppID\\" + appId);
    if (KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"\\AppID\\" + FileNameOf(module)))
        out.Add(L"AppID\\" + FileNameOf(module));
    for (const wchar_t* progIdKey : {L"\\ProgID", L"\\VersionIndependentProgID"}) {
        const std::wstring progId =
            Key(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"\\" + clsidPath + progIdKey).Default();
        if (!progId.empty()) out.Add(progId);
    }
    const std::wstring libid =
        Key(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"\\" + clsidPath + L"\\TypeLib").Default();
    if (!libid.empty()) out.Add(L"TypeLib\\" + libid);
    ITypeLib* library = nullptr;
    if (SUCCEEDED(LoadTypeLibEx(module.c_str(), REGKIND_NONE, &library))) {
        for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
            TYPEKIND kind;
            if (FAILED(library->GetTypeInfoType(i, &kind)) || (kind != TKIND_INTERFACE && kind != TKIND_DISPATCH))
                continue;
            ITypeInfo* info = nullptr;
            if (FAILED(library->GetTypeInfo(i, &info))) continue;
            TYPEATTR* attributes = nullptr;
            if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
                out.Add(L"Interface\\" + GuidText(attributes->guid));
                info->ReleaseTypeAttr(attributes);
            }
            info->Release();
        }
        library->Release();
    }
    ExpectTrue(("registry read back to " + Utf8(file)).c_str(), out.WriteTo(file));
}

const std::wstring& Regsvr32() {
    static const std::wstring path = [] {
        wchar_t system[MAX_PATH];
        GetSystemDirectoryW(system, MAX_PATH);
        return std::wstring(system) + L"\\regsvr32.exe";
    }();
    return path;
}

long Regsvr32(const std::wstring& options, const std::wstring& module) {
    return RunProgram(Quoted(Regsvr32()) + L" /s " + options + L" " + Quoted(module));
}

std::wstring Clsid(const CLSID& clsid) { return std::wstring(kClasses) + L"\\CLSID\\" + GuidText(clsid); }

void CheckPerUserRegistration(const std::wstring& marlind) {
    ExpectTrue("regsvr32 /n /i:user marlind32.dll", Regsvr32(L"/n /i:user", marlind) == 0);
    ExpectTrue("  registers marlind for the current user", KeyExists(HKEY_CURRENT_USER, Clsid(CLSID_MarlindPlugin)));
    ExpectTrue("regsvr32 /u /n /i:user marlind32.dll", Regsvr32(L"/u /n /i:user", marlind) == 0);
    ExpectTrue("  removes the current user's registration", !KeyExists(HKEY_CURRENT_USER, Clsid(CLSID_MarlindPlugin)));
}

}  // namespace

bool RegisterPlugins(const std::wstring& marlindPath, const std::wstring& quilletPath,
                     const std::wstring& registryDir) {
    const std::wstring marlind = FullPath(marlindPath), quillet = FullPath(quilletPath);
    CheckPerUserRegistration(marlind);
    const bool marlindRegistered = Regsvr32(L"", marlind) == 0;
    ExpectTrue("regsvr32 marlind32.dll", marlindRegistered);
    const bool quilletRegistered = Regsvr32(L"", quillet) == 0;
    ExpectTrue("regsvr32 Quillet.DLL", quilletRegistered);
    ExpectText("marlind's InprocServer32 names the DLL", marlind,
               Key(HKEY_LOCAL_MACHINE, Clsid(CLSID_MarlindPlugin) + L"\\InprocServer32").Default());
    ExpectText("Quillet's threading model", L"Both",
               Key(HKEY_LOCAL_MACHINE, Clsid(CLSID_QuilletObj) + L"\\InprocServer32").Default(L"ThreadingModel"));
    CreateDirectoryW(registryDir.c_str(), nullptr);
    ExportRegistration(CLSID_MarlindPlugin, marlind, registryDir + L"\\marlind.reg");
    ExportRegistration(CLSID_QuilletObj, quillet, registryDir + L"\\quillet.reg");
    return marlindRegistered && quilletRegistered;
}

void UnregisterPlugins(const std::wstring& marlindPath, const std::wstring& quilletPath) {
    const std::wstring marlind = FullPath(marlindPath), quillet = FullPath(quilletPath);
    ExpectTrue("regsvr32 /u marlind32.dll", Regsvr32(L"/u", marlind) == 0);
    ExpectTrue("regsvr32 /u Quillet.DLL", Regsvr32(L"/u", quillet) == 0);
    ExpectTrue("  marlind's class is gone", !KeyExists(HKEY_LOCAL_MACHINE, Clsid(CLSID_MarlindPlugin)));
    ExpectTrue("  Quillet's class is gone", !KeyExists(HKEY_LOCAL_MACHINE, Clsid(CLSID_QuilletObj)));
    ExpectTrue(
        "  Quillet's AppID is gone",
        !KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"\\AppID\\{3B841D8C-3E27-41C4-BC51-936D1B24B807}"));
    ExpectTrue("  the CLSID and AppID keys stay",
               KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"\\CLSID") &&
                   KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"\\AppID"));
    ExpectTrue(
        "  the type libraries are gone",
        !KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"\\TypeLib\\" + GuidText(LIBID_MarlindLib)) &&
            !KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"\\TypeLib\\" + GuidText(LIBID_QuilletLib)));
}

}  // namespace windows_test
