// The registry functions. An open key remembers its path, not a node, so that
// it stays valid when another process saves the hive; a key deleted meanwhile
// gives ERROR_KEY_DELETED. HKEY_CLASSES_ROOT is the merged view of
// HKLM\Software\Classes and HKCU\Software\Classes: a key that exists for the
// user hides the machine's key of the same path, subkey lists are the union.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "common/CaseCompare.h"
#include "common/Utf.h"
#include "registry/Store.h"

namespace wincompat {
namespace registry {
namespace {

enum class View { Machine, User, Users, Classes };

struct OpenKey {
    View view = View::Machine;
    std::vector<std::u16string> path;  // below the view's root
};

const std::vector<std::u16string>& ClassesPrefix() {
    static const std::vector<std::u16string> prefix = {u"Software", u"Classes"};
    return prefix;
}

struct HandleTable {
    std::mutex lock;
    std::map<OpenKey*, std::unique_ptr<OpenKey>> live;  // keyed by the handle value
    std::map<HKEY, OpenKey> overrides;                  // RegOverridePredefKey
};

HandleTable& Handles() {
    static HandleTable* table = new HandleTable;
    return *table;
}

bool PredefinedView(HKEY key, View& view) {
    if (key == HKEY_CLASSES_ROOT)
        view = View::Classes;
    else if (key == HKEY_CURRENT_USER)
        view = View::User;
    else if (key == HKEY_LOCAL_MACHINE)
        view = View::Machine;
    else if (key == HKEY_USERS)
        view = View::Users;
    else
        return false;
    return true;
}

bool IsPredefined(HKEY key) {
    View view;
    return PredefinedView(key, view);
}

LONG Resolve(HKEY key, OpenKey& out) {
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> guard(table.lock);
    View view;
    if (PredefinedView(key, view)) {
        auto it = table.overrides.find(key);
        if (it != table.overrides.end()) {
            out = it->second;
        } else {
            out = OpenKey{view, {}};
        }
        return ERROR_SUCCESS;
    }
    auto* open = reinterpret_cast<OpenKey*>(key);
    if (!key || !table.live.count(open)) return ERROR_INVALID_HANDLE;
    out = *open;
    return ERROR_SUCCESS;
}

HKEY NewHandle(OpenKey key) {
    auto owned = std::make_unique<OpenKey>(std::move(key));
    OpenKey* raw = owned.get();
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> guard(table.lock);
    table.live.emplace(raw, std::move(owned));
    return reinterpret_cast<HKEY>(raw);
}

bool ValidName(const std::u16string& name, size_t maxLength) {
    if (name.size() > maxLength) return false;
    return std::none_of(name.begin(), name.end(), [](char16_t c) { return c < 0x20; });
}

// Splits "A\B\C"; empty parts (doubled or trailing backslashes) are skipped.
LONG SplitSubKey(LPCWSTR subKey, std::vector<std::u16string>& parts) {
    parts.clear();
    if (!subKey) return ERROR_SUCCESS;
    std::u16string current;
    for (const char16_t* p = subKey;; ++p) {
        if (*p == u'\\' || *p == 0) {
            if (!current.empty()) {
                if (!ValidName(current, 255)) return ERROR_INVALID_PARAMETER;
                parts.push_back(current);
            }
            current.clear();
            if (*p == 0) break;
        } else {
            current.push_back(*p);
        }
    }
    return ERROR_SUCCESS;
}

std::vector<std::u16string> Join(const std::vector<std::u16string>& a, const std::vector<std::u16string>& b) {
    std::vector<std::u16string> out(a);
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

HiveId HiveOf(View view) {
    switch (view) {
        case View::User: return HiveId::CurrentUser;
        case View::Users: return HiveId::Users;
        default: return HiveId::LocalMachine;
    }
}

// A concrete place in one hive file.
struct Place {
    HiveId hive;
    std::vector<std::u16string> path;
};

Place MachineClasses(const std::vector<std::u16string>& path) {
    return {HiveId::LocalMachine, Join(ClassesPrefix(), path)};
}
Place UserClasses(const std::vector<std::u16string>& path) {
    return {HiveId::CurrentUser, Join(ClassesPrefix(), path)};
}

LONG Exists(const Place& place, bool& exists) {
    return ReadHive(place.hive, [&](const Key& root) {
        exists = root.FindPath(place.path) != nullptr;
        return ERROR_SUCCESS;
    });
}

// The place whose values a key of the view shows: for the merged classes view
// the user's key when it exists, else the machine's. `exists` false when neither does.
LONG WinningPlace(const OpenKey& key, Place& place, bool& exists) {
    if (key.view != View::Classes) {
        place = {HiveOf(key.view), key.path};
        if (key.path.empty()) {
            exists = true;
            return ERROR_SUCCESS;
        }
        return Exists(place, exists);
    }
    Place user = UserClasses(key.path);
    LONG status = Exists(user, exists);
    if (status != ERROR_SUCCESS) return status;
    if (exists) {
        place = user;
        return ERROR_SUCCESS;
    }
    place = MachineClasses(key.path);
    status = Exists(place, exists);
    if (status == ERROR_SUCCESS && !exists && key.path.empty()) exists = true;  // the classes root always is
    return status;
}

LONG KeyExists(const OpenKey& key, bool& exists) {
    Place place;
    return WinningPlace(key, place, exists);
}

// Runs `read` on the key's winning node; ERROR_KEY_DELETED when it is gone.
// An absent classes root reads as an empty key.
LONG ReadKey(const OpenKey& key, const std::function<LONG(const Key&)>& read) {
    Place place;
    bool exists = false;
    LONG status = WinningPlace(key, place, exists);
    if (status != ERROR_SUCCESS) return status;
    if (!exists) return ERROR_KEY_DELETED;
    return ReadHive(place.hive, [&](const Key& root) -> LONG {
        const Key* node = root.FindPath(place.path);
        if (!node) {
            static const Key empty;
            if (key.view == View::Classes && key.path.empty()) return read(empty);
            return ERROR_KEY_DELETED;
        }
        return read(*node);
    });
}

// Sorted, case-insensitively unique subkey names as the view shows them.
LONG SubkeyNames(const OpenKey& key, std::vector<std::u16string>& names) {
    names.clear();
    std::map<std::u16string, std::u16string> merged;
    auto collect = [&](const Place& place) {
        return ReadHive(place.hive, [&](const Key& root) -> LONG {
            if (const Key* node = root.FindPath(place.path))
                for (const auto& entry : node->subkeys) merged.emplace(entry.first, entry.second->name);
            return ERROR_SUCCESS;
        });
    };
    bool exists = false;
    LONG status = KeyExists(key, exists);
    if (status != ERROR_SUCCESS) return status;
    if (!exists) return ERROR_KEY_DELETED;
    if (key.view == View::Classes) {
        if ((status = collect(UserClasses(key.path))) != ERROR_SUCCESS) return status;
        if ((status = collect(MachineClasses(key.path))) != ERROR_SUCCESS) return status;
    } else if ((status = collect(Place{HiveOf(key.view), key.path})) != ERROR_SUCCESS) {
        return status;
    }
    for (auto& entry : merged) names.push_back(entry.second);
    return ERROR_SUCCESS;
}

LONG CreateAt(const Place& place, bool& created) {
    created = false;
    return ModifyHive(place.hive, [&](Key& root, bool& changed) -> LONG {
        Key* node = &root;
        for (const std::u16string& part : place.path) {
            bool made = false;
            node = &node->Child(part, &made);
            if (made) created = changed = true;
        }
        return ERROR_SUCCESS;
    });
}

LONG DeleteAt(const Place& place, bool wholeTree) {
    if (place.path.empty()) return ERROR_ACCESS_DENIED;
    return ModifyHive(place.hive, [&](Key& root, bool& changed) -> LONG {
        std::vector<std::u16string> parentPath(place.path.begin(), place.path.end() - 1);
        Key* parent = root.FindPath(parentPath);
        Key* node = parent ? parent->Find(place.path.back()) : nullptr;
        if (!node) return ERROR_FILE_NOT_FOUND;
        if (!wholeTree && !node->subkeys.empty()) return ERROR_ACCESS_DENIED;
        parent->subkeys.erase(Folded(place.path.back()));
        changed = true;
        return ERROR_SUCCESS;
    });
}

// The place a value of this key is written to or removed from.
LONG ValuePlace(const OpenKey& key, Place& place) {
    bool exists = false;
    LONG status = WinningPlace(key, place, exists);
    if (status != ERROR_SUCCESS) return status;
    if (!exists) return ERROR_KEY_DELETED;
    if (key.view == View::Classes && key.path.empty()) place = MachineClasses({});
    return ERROR_SUCCESS;
}

std::u16string ValueName(LPCWSTR name) { return name ? std::u16string(name) : std::u16string(); }

// Copies bytes to a caller's buffer as RegQueryValueEx does.
LONG CopyData(const Value& value, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (type) *type = value.type;
    DWORD needed = static_cast<DWORD>(value.data.size());
    if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    if (data) {
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        if (needed) memcpy(data, value.data.data(), needed);
    }
    *size = needed;
    return ERROR_SUCCESS;
}

}  // namespace
}  // namespace registry
}  // namespace wincompat

using namespace wincompat;
using namespace wincompat::registry;

extern "C" LONG WINAPI RegCloseKey(HKEY hKey) {
    if (IsPredefined(hKey)) return ERROR_SUCCESS;
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> guard(table.lock);
    auto* open = reinterpret_cast<OpenKey*>(hKey);
    auto it = table.live.find(open);
    if (it == table.live.end()) return ERROR_INVALID_HANDLE;
    table.live.erase(it);
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegOverridePredefKey(HKEY hKey, HKEY hNewHKey) {
    if (!IsPredefined(hKey)) return ERROR_INVALID_HANDLE;
    if (!hNewHKey) {
        HandleTable& table = Handles();
        std::lock_guard<std::mutex> guard(table.lock);
        table.overrides.erase(hKey);
        return ERROR_SUCCESS;
    }
    OpenKey target;
    LONG status = Resolve(hNewHKey, target);
    if (status != ERROR_SUCCESS) return status;
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> guard(table.lock);
    table.overrides[hKey] = target;
    return ERROR_SUCCESS;
}

// The key that lpSubKey names below hKey; `named`, when asked, tells whether
// lpSubKey named any key at all (an empty subkey names hKey itself).
static LONG LocateSubKey(HKEY hKey, LPCWSTR lpSubKey, OpenKey& key, bool* named = nullptr) {
    OpenKey base;
    LONG status = Resolve(hKey, base);
    if (status != ERROR_SUCCESS) return status;
    std::vector<std::u16string> parts;
    if ((status = SplitSubKey(lpSubKey, parts)) != ERROR_SUCCESS) return status;
    key = OpenKey{base.view, Join(base.path, parts)};
    if (named) *named = !parts.empty();
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    OpenKey key;
    bool named = false;
    LONG status = LocateSubKey(hKey, lpSubKey, key, &named);
    if (status != ERROR_SUCCESS) return status;
    bool exists = false;
    if ((status = KeyExists(key, exists)) != ERROR_SUCCESS) return status;
    if (!exists) return named ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    *phkResult = NewHandle(std::move(key));
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                                       PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    OpenKey key;
    LONG status = LocateSubKey(hKey, lpSubKey, key);
    if (status != ERROR_SUCCESS) return status;
    bool exists = false;
    if ((status = KeyExists(key, exists)) != ERROR_SUCCESS) return status;
    bool created = false;
    if (!exists) {
        // New keys under the classes view go to the machine's classes, as Windows documents.
        Place place = key.view == View::Classes ? MachineClasses(key.path) : Place{HiveOf(key.view), key.path};
        status = CreateAt(place, created);
        if (status != ERROR_SUCCESS) return status;
    }
    if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *phkResult = NewHandle(std::move(key));
    return ERROR_SUCCESS;
}

static LONG DeleteKeyImpl(HKEY hKey, LPCWSTR lpSubKey, bool wholeTree) {
    OpenKey key;
    LONG status = LocateSubKey(hKey, lpSubKey, key);
    if (status != ERROR_SUCCESS) return status;
    const std::vector<std::u16string>& path = key.path;
    if (path.empty()) return ERROR_ACCESS_DENIED;
    if (key.view != View::Classes) return DeleteAt(Place{HiveOf(key.view), path}, wholeTree);
    bool inUser = false, inMachine = false;
    if ((status = Exists(UserClasses(path), inUser)) != ERROR_SUCCESS) return status;
    if ((status = Exists(MachineClasses(path), inMachine)) != ERROR_SUCCESS) return status;
    if (!inUser && !inMachine) return ERROR_FILE_NOT_FOUND;
    if (!wholeTree) return DeleteAt(inUser ? UserClasses(path) : MachineClasses(path), false);
    // A whole tree disappears from the merged view only when it goes from both hives.
    if (inUser && (status = DeleteAt(UserClasses(path), true)) != ERROR_SUCCESS) return status;
    if (inMachine && (status = DeleteAt(MachineClasses(path), true)) != ERROR_SUCCESS) return status;
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    return DeleteKeyImpl(hKey, lpSubKey, false);
}

extern "C" LONG WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
    if (lpSubKey && *lpSubKey) return DeleteKeyImpl(hKey, lpSubKey, true);
    // No subkey: empty the key itself (values and subkeys), keeping the key.
    OpenKey key;
    LONG status = Resolve(hKey, key);
    if (status != ERROR_SUCCESS) return status;
    std::vector<Place> places;
    if (key.view == View::Classes) {
        places = {UserClasses(key.path), MachineClasses(key.path)};
    } else {
        places = {Place{HiveOf(key.view), key.path}};
    }
    bool found = false;
    for (const Place& place : places) {
        status = ModifyHive(place.hive, [&](Key& root, bool& changed) -> LONG {
            Key* node = root.FindPath(place.path);
            if (!node) return ERROR_SUCCESS;
            found = true;
            changed = !node->subkeys.empty() || !node->values.empty();
            node->subkeys.clear();
            node->values.clear();
            return ERROR_SUCCESS;
        });
        if (status != ERROR_SUCCESS) return status;
    }
    return found || key.path.empty() ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

extern "C" LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                                      DWORD cbData) {
    if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
    std::u16string name = ValueName(lpValueName);
    if (!ValidName(name, 16383)) return ERROR_INVALID_PARAMETER;
    OpenKey key;
    LONG status = Resolve(hKey, key);
    if (status != ERROR_SUCCESS) return status;
    Place place;
    if ((status = ValuePlace(key, place)) != ERROR_SUCCESS) return status;
    return ModifyHive(place.hive, [&](Key& root, bool& changed) -> LONG {
        Key* node = place.path.empty() ? &root : root.FindPath(place.path);
        if (!node) {
            if (!(key.view == View::Classes && key.path.empty())) return ERROR_KEY_DELETED;
            node = &root;
            for (const std::u16string& part : place.path) node = &node->Child(part);
        }
        Value value{name, dwType, std::vector<BYTE>(lpData, lpData + cbData)};
        if (Value* existing = node->FindValue(name)) {
            existing->type = value.type;
            existing->data = std::move(value.data);
        } else {
            node->values.push_back(std::move(value));
        }
        changed = true;
        return ERROR_SUCCESS;
    });
}

extern "C" LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                                        LPDWORD lpcbData) {
    OpenKey key;
    LONG status = Resolve(hKey, key);
    if (status != ERROR_SUCCESS) return status;
    std::u16string name = ValueName(lpValueName);
    return ReadKey(key, [&](const Key& node) -> LONG {
        std::u16string folded = Folded(name);
        for (const Value& value : node.values)
            if (Folded(value.name) == folded) return CopyData(value, lpType, lpData, lpcbData);
        return ERROR_FILE_NOT_FOUND;
    });
}

extern "C" LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    OpenKey key;
    LONG status = Resolve(hKey, key);
    if (status != ERROR_SUCCESS) return status;
    Place place;
    if ((status = ValuePlace(key, place)) != ERROR_SUCCESS) return status;
    std::u16string folded = Folded(ValueName(lpValueName));
    return ModifyHive(place.hive, [&](Key& root, bool& changed) -> LONG {
        Key* node = root.FindPath(place.path);
        if (!node) return ERROR_FILE_NOT_FOUND;
        auto it = std::find_if(node->values.begin(), node->values.end(),
                               [&](const Value& v) { return Folded(v.name) == folded; });
        if (it == node->values.end()) return ERROR_FILE_NOT_FOUND;
        node->values.erase(it);
        changed = true;
        return ERROR_SUCCESS;
    });
}

static LONG CopyName(const std::u16string& name, LPWSTR buffer, LPDWORD chars) {
    if (!buffer || !chars) return ERROR_INVALID_PARAMETER;
    if (name.size() + 1 > *chars) {
        *chars = static_cast<DWORD>(name.size() + 1);
        return ERROR_MORE_DATA;
    }
    std::copy(name.begin(), name.end(), buffer);
    buffer[name.size()] = 0;
    *chars = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD,
                                     LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    OpenKey key;
    LONG status = Resolve(hKey, key);
    if (status != ERROR_SUCCESS) return status;
    std::vector<std::u16string> names;
    if ((status = SubkeyNames(key, names)) != ERROR_SUCCESS) return status;
    if (dwIndex >= names.size()) return ERROR_NO_MORE_ITEMS;
    if ((status = CopyName(names[dwIndex], lpName, lpcchName)) != ERROR_SUCCESS) return status;
    if (lpClass && lpcchClass && *lpcchClass) lpClass[0] = 0;
    if (lpcchClass) *lpcchClass = 0;
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD,
                                     LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    OpenKey key;
    LONG status = Resolve(hKey, key);
    if (status != ERROR_SUCCESS) return status;
    return ReadKey(key, [&](const Key& node) -> LONG {
        if (dwIndex >= node.values.size()) return ERROR_NO_MORE_ITEMS;
        const Value& value = node.values[dwIndex];
        LONG result = CopyName(value.name, lpValueName, lpcchValueName);
        if (result != ERROR_SUCCESS) return result;
        return CopyData(value, lpType, lpData, lpcbData);
    });
}

extern "C" LONG WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD, LPDWORD lpcSubKeys,
                                        LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                        LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                        LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    OpenKey key;
    LONG status = Resolve(hKey, key);
    if (status != ERROR_SUCCESS) return status;
    std::vector<std::u16string> names;
    if ((status = SubkeyNames(key, names)) != ERROR_SUCCESS) return status;
    DWORD maxSubKey = 0;
    for (const std::u16string& name : names) maxSubKey = std::max(maxSubKey, static_cast<DWORD>(name.size()));
    return ReadKey(key, [&](const Key& node) -> LONG {
        DWORD maxName = 0, maxData = 0;
        for (const Value& value : node.values) {
            maxName = std::max(maxName, static_cast<DWORD>(value.name.size()));
            maxData = std::max(maxData, static_cast<DWORD>(value.data.size()));
        }
        if (lpClass && lpcchClass && *lpcchClass) lpClass[0] = 0;
        if (lpcchClass) *lpcchClass = 0;
        if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(names.size());
        if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = maxSubKey;
        if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
        if (lpcValues) *lpcValues = static_cast<DWORD>(node.values.size());
        if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = maxName;
        if (lpcbMaxValueLen) *lpcbMaxValueLen = maxData;
        if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
        if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
        return ERROR_SUCCESS;
    });
}
