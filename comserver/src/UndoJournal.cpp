// The undo journal of a registration run: snapshots of removed subtrees and
// previous values, restored in reverse order.
#include "UndoJournal.h"

#include <utility>

#include "RegistryKey.h"

namespace comserver {
namespace registration {

bool ReadSnapshot(HKEY parent, const OleString& name, Snapshot& snapshot) {
    KeyHandle key;
    if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS) return false;
    snapshot.name = name;
    for (DWORD i = 0;; ++i) {
        OLECHAR valueName[16384];
        DWORD nameLength = 16384, type = 0, size = 0;
        if (RegEnumValueW(key.get(), i, valueName, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        ValueSpec value;
        value.name.assign(valueName, nameLength);
        value.type = type;
        value.data.resize(size);
        nameLength = 16384;
        if (RegEnumValueW(key.get(), i, valueName, &nameLength, nullptr, &type,
                          value.data.empty() ? nullptr : &value.data[0], &size) != ERROR_SUCCESS)
            return false;
        value.data.resize(size);
        snapshot.values.push_back(std::move(value));
    }
    for (DWORD i = 0;; ++i) {
        OLECHAR childName[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key.get(), i, childName, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        Snapshot child;
        if (!ReadSnapshot(key.get(), OleString(childName, length), child)) return false;
        snapshot.children.push_back(std::move(child));
    }
    return true;
}

void WriteSnapshot(HKEY parent, const Snapshot& snapshot) {
    KeyHandle key;
    if (RegCreateKeyExW(parent, snapshot.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Out(), nullptr) !=
        ERROR_SUCCESS)
        return;
    for (const ValueSpec& value : snapshot.values)
        RegSetValueExW(key.get(), value.name.empty() ? nullptr : value.name.c_str(), 0, value.type,
                       value.data.empty() ? nullptr : value.data.data(), static_cast<DWORD>(value.data.size()));
    for (const Snapshot& child : snapshot.children) WriteSnapshot(key.get(), child);
}

void Journal::KeyCreated(HKEY root, const OleString& path) {
    steps_.push_back(Step{Step::RemoveTree, root, path, {}, {}, false});
}

void Journal::TreeRemoved(HKEY root, const OleString& parentPath, Snapshot snapshot) {
    steps_.push_back(Step{Step::RestoreTree, root, parentPath, std::move(snapshot), {}, false});
}

void Journal::ValueChanged(HKEY root, const OleString& path, ValueSpec previous, bool existed) {
    steps_.push_back(Step{Step::RestoreValue, root, path, {}, std::move(previous), existed});
}

void Journal::Undo() {
    for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) {
        if (it->kind == Step::RemoveTree) {
            RegDeleteTreeW(it->root, it->path.c_str());
        } else if (it->kind == Step::RestoreTree) {
            KeyHandle parent;
            if (RegCreateKeyExW(it->root, it->path.empty() ? nullptr : it->path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, parent.Out(), nullptr) == ERROR_SUCCESS)
                WriteSnapshot(parent.get(), it->snapshot);
        } else {
            KeyHandle key;
            if (RegOpenKeyExW(it->root, it->path.c_str(), 0, KEY_ALL_ACCESS, key.Out()) != ERROR_SUCCESS) continue;
            const OLECHAR* name = it->value.name.empty() ? nullptr : it->value.name.c_str();
            if (it->existed) {
                RegSetValueExW(key.get(), name, 0, it->value.type,
                               it->value.data.empty() ? nullptr : it->value.data.data(),
                               static_cast<DWORD>(it->value.data.size()));
            } else {
                RegDeleteValueW(key.get(), name);
            }
        }
    }
    steps_.clear();
}

}  // namespace registration
}  // namespace comserver
