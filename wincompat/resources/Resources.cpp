// Resources of modules: tables registered by each shared library's generated
// resource source, looked up as FindResourceW and LoadStringW do.
#include <windows.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "common/CaseCompare.h"
#include "common/Utf.h"
#include "wincompat/Resources.h"

namespace wincompat {
namespace {

struct ResourceTable {
    std::mutex lock;
    std::map<HMODULE, std::vector<const ResourceEntry*>> modules;
};

ResourceTable& Table() {
    static ResourceTable* table = new ResourceTable;
    return *table;
}

// A resource name or type as FindResource receives it: an id, "#id", or a name.
struct ResourceKey {
    bool isId = false;
    WORD id = 0;
    std::u16string name;  // upper case

    static bool From(LPCWSTR text, ResourceKey& key) {
        if (!text) return false;
        if (IS_INTRESOURCE(text)) {
            key.isId = true;
            key.id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(text));
            return true;
        }
        std::u16string value(text);
        if (value.size() > 1 && value[0] == u'#') {
            unsigned long number = 0;
            for (size_t i = 1; i < value.size(); ++i) {
                if (value[i] < u'0' || value[i] > u'9' || number > 0xFFFF) return false;
                number = number * 10 + (value[i] - u'0');
            }
            if (number > 0xFFFF) return false;
            key.isId = true;
            key.id = static_cast<WORD>(number);
            return true;
        }
        for (char16_t& c : value) c = AsciiUpper(c);
        key.name = value;
        return true;
    }

    bool Matches(WORD entryId, const char16_t* entryName) const {
        if (isId) return !entryName && entryId == id;
        return entryName && name == entryName;
    }
};

const ResourceEntry* Find(HMODULE module, LPCWSTR name, LPCWSTR type, DWORD& error) {
    ResourceKey nameKey, typeKey;
    if (!ResourceKey::From(name, nameKey) || !ResourceKey::From(type, typeKey)) {
        error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    if (!module) module = GetModuleHandleW(nullptr);
    ResourceTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.modules.find(module);
    if (it == table.modules.end()) {
        error = ERROR_RESOURCE_DATA_NOT_FOUND;
        return nullptr;
    }
    bool typeSeen = false;
    for (const ResourceEntry* entry : it->second) {
        if (!typeKey.Matches(entry->typeId, entry->typeName)) continue;
        typeSeen = true;
        if (nameKey.Matches(entry->nameId, entry->nameName)) return entry;
    }
    error = typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND;
    return nullptr;
}

bool Owns(HMODULE module, HRSRC resource) {
    if (!module) module = GetModuleHandleW(nullptr);
    ResourceTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.modules.find(module);
    if (it == table.modules.end()) return false;
    const auto* entry = reinterpret_cast<const ResourceEntry*>(resource);
    return std::find(it->second.begin(), it->second.end(), entry) != it->second.end();
}

}  // namespace

ModuleResourcesRegistration::ModuleResourcesRegistration(const void* anchor, const ResourceEntry* entries, size_t count)
    : module_(nullptr) {
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCWSTR>(anchor), &module_);
    if (!module_) return;
    std::vector<const ResourceEntry*> list;
    for (size_t i = 0; i < count; ++i) list.push_back(&entries[i]);
    ResourceTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    table.modules[module_] = std::move(list);
}

ModuleResourcesRegistration::~ModuleResourcesRegistration() {
    if (!module_) return;
    ResourceTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    table.modules.erase(module_);
}

}  // namespace wincompat

extern "C" HRSRC WINAPI FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage) {
    (void)wLanguage;  // one language per resource here: every request gets it
    DWORD error = ERROR_SUCCESS;
    const wincompat::ResourceEntry* entry = wincompat::Find(hModule, lpName, lpType, error);
    if (!entry) {
        SetLastError(error);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(const_cast<wincompat::ResourceEntry*>(entry));
}

extern "C" HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
    return FindResourceExW(hModule, lpType, lpName, 0);
}

extern "C" HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo) {
    if (!hResInfo || !wincompat::Owns(hModule, hResInfo)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    // Resource data is read-only and lives as long as its module, as on Windows.
    return const_cast<unsigned char*>(reinterpret_cast<const wincompat::ResourceEntry*>(hResInfo)->data);
}

extern "C" LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

extern "C" DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo) {
    if (!hResInfo || !wincompat::Owns(hModule, hResInfo)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    return reinterpret_cast<const wincompat::ResourceEntry*>(hResInfo)->size;
}

// String tables are stored as Windows stores them: block n holds ids 16(n-1)..16n-1,
// each string a length word followed by that many UTF-16 units.
extern "C" int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
    if (!lpBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    HRSRC block = FindResourceW(hInstance, MAKEINTRESOURCEW((uID >> 4) + 1), RT_STRING);
    if (!block) return 0;
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(hInstance, block)));
    DWORD size = SizeofResource(hInstance, block);
    size_t offset = 0;
    for (UINT index = 0; index <= (uID & 15); ++index) {
        if (offset + 2 > size) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return 0;
        }
        WORD length = static_cast<WORD>(data[offset] | (data[offset + 1] << 8));
        if (offset + 2 + size_t(length) * 2 > size) {
            SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
            return 0;
        }
        if (index == (uID & 15)) {
            if (length == 0) {
                SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
                return 0;
            }
            const auto* text = reinterpret_cast<const WCHAR*>(data + offset + 2);
            if (cchBufferMax == 0) {  // the caller asks for a pointer to the resource itself
                *reinterpret_cast<const WCHAR**>(lpBuffer) = text;
                return length;
            }
            int count = std::min<int>(length, cchBufferMax - 1);
            std::copy(text, text + count, lpBuffer);
            lpBuffer[count] = 0;
            return count;
        }
        offset += 2 + size_t(length) * 2;
    }
    return 0;
}
