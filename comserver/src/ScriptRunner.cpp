// The registrar's runner: keys created, values set, subtrees removed under
// the script's flags, each change noted in the undo journal first.
#include "ScriptRunner.h"

#include <utility>

#include "RegistryKey.h"

namespace comserver {
namespace registration {
namespace {

OleString JoinPath(const OleString& parent, const OleString& name) {
    return parent.empty() ? name : parent + OLECHAR('\\') + name;
}

}  // namespace

HRESULT Runner::Register(const OleString& parentPath, const KeySpec& key) {
    OleString path = JoinPath(parentPath, key.name);
    if (key.deleteOnRegister) return RemoveTree(parentPath, key.name);
    if (key.forceRemove) {
        HRESULT hr = RemoveTree(parentPath, key.name);
        if (FAILED(hr)) return hr;
    }
    KeyHandle handle;
    DWORD disposition = 0;
    LONG status =
        RegCreateKeyExW(root_, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, handle.Out(), &disposition);
    if (status != ERROR_SUCCESS) return FromStatus(status);
    if (disposition == REG_CREATED_NEW_KEY) journal_.KeyCreated(root_, path);
    if (key.defaultValue) {
        HRESULT hr = SetValue(handle.get(), path, *key.defaultValue);
        if (FAILED(hr)) return hr;
    }
    for (const ValueSpec& value : key.values) {
        HRESULT hr = SetValue(handle.get(), path, value);
        if (FAILED(hr)) return hr;
    }
    for (const KeySpec& child : key.children) {
        HRESULT hr = Register(path, child);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT Runner::Unregister(const OleString& parentPath, const KeySpec& key) {
    if (key.deleteOnRegister) return S_OK;  // "Delete" acts on registration only
    OleString path = JoinPath(parentPath, key.name);
    {
        KeyHandle handle;
        if (RegOpenKeyExW(root_, path.c_str(), 0, KEY_ALL_ACCESS, handle.Out()) != ERROR_SUCCESS)
            return S_OK;  // nothing to remove
    }
    if (key.forceRemove && !key.noRemove) return RemoveTree(parentPath, key.name);
    for (const KeySpec& child : key.children) {
        HRESULT hr = Unregister(path, child);
        if (FAILED(hr)) return hr;
    }
    KeyHandle handle;
    LONG status = RegOpenKeyExW(root_, path.c_str(), 0, KEY_ALL_ACCESS, handle.Out());
    if (status != ERROR_SUCCESS) return FromStatus(status);
    for (const ValueSpec& value : key.values) {
        HRESULT hr = RemoveValue(handle.get(), path, value.name);
        if (FAILED(hr)) return hr;
    }
    if (key.noRemove) return S_OK;
    DWORD subkeys = 0;
    status = RegQueryInfoKeyW(handle.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return FromStatus(status);
    if (subkeys != 0) return S_OK;  // something else lives below: keep the key
    return RemoveTree(parentPath, key.name);
}

HRESULT Runner::RemoveTree(const OleString& parentPath, const OleString& name) {
    KeyHandle parent;
    LONG status =
        parentPath.empty() ? ERROR_SUCCESS : RegOpenKeyExW(root_, parentPath.c_str(), 0, KEY_ALL_ACCESS, parent.Out());
    if (status == ERROR_FILE_NOT_FOUND) return S_OK;
    if (status != ERROR_SUCCESS) return FromStatus(status);
    HKEY parentKey = parentPath.empty() ? root_ : parent.get();
    Snapshot snapshot;
    if (!ReadSnapshot(parentKey, name, snapshot)) return S_OK;  // not there
    status = RegDeleteTreeW(parentKey, name.c_str());
    if (status == ERROR_FILE_NOT_FOUND) return S_OK;
    if (status != ERROR_SUCCESS) return FromStatus(status);
    journal_.TreeRemoved(root_, parentPath, std::move(snapshot));
    return S_OK;
}

HRESULT Runner::SetValue(HKEY key, const OleString& path, const ValueSpec& value) {
    const OLECHAR* name = value.name.empty() ? nullptr : value.name.c_str();
    ValueSpec previous;
    previous.name = value.name;
    DWORD size = 0;
    bool existed = RegQueryValueExW(key, name, nullptr, &previous.type, nullptr, &size) == ERROR_SUCCESS;
    if (existed) {
        previous.data.resize(size);
        RegQueryValueExW(key, name, nullptr, &previous.type, previous.data.empty() ? nullptr : &previous.data[0],
                         &size);
    }
    LONG status = RegSetValueExW(key, name, 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
    if (status != ERROR_SUCCESS) return FromStatus(status);
    journal_.ValueChanged(root_, path, std::move(previous), existed);
    return S_OK;
}

HRESULT Runner::RemoveValue(HKEY key, const OleString& path, const OleString& valueName) {
    const OLECHAR* name = valueName.empty() ? nullptr : valueName.c_str();
    ValueSpec previous;
    previous.name = valueName;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &previous.type, nullptr, &size) != ERROR_SUCCESS) return S_OK;
    previous.data.resize(size);
    RegQueryValueExW(key, name, nullptr, &previous.type, previous.data.empty() ? nullptr : &previous.data[0], &size);
    LONG status = RegDeleteValueW(key, name);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return FromStatus(status);
    journal_.ValueChanged(root_, path, std::move(previous), true);
    return S_OK;
}

}  // namespace registration
}  // namespace comserver
