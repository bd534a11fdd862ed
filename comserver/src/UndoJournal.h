// The undo journal of a registration run: what each change replaced, put back
// in reverse order when the registry refuses a later change.
#pragma once
#include <windows.h>

#include <vector>

#include "RegistryScript.h"

namespace comserver {
namespace registration {

// A registry subtree copied before it is removed, to put it back on failure.
struct Snapshot {
    OleString name;
    std::vector<ValueSpec> values;
    std::vector<Snapshot> children;
};

// False when `name` under `parent` cannot be opened or read whole.
bool ReadSnapshot(HKEY parent, const OleString& name, Snapshot& snapshot);
void WriteSnapshot(HKEY parent, const Snapshot& snapshot);

class Journal {
public:
    // Undo steps run in reverse order; each names its key by a path from an open root.
    void KeyCreated(HKEY root, const OleString& path);
    void TreeRemoved(HKEY root, const OleString& parentPath, Snapshot snapshot);
    void ValueChanged(HKEY root, const OleString& path, ValueSpec previous, bool existed);
    void Undo();

private:
    struct Step {
        enum Kind { RemoveTree, RestoreTree, RestoreValue } kind;
        HKEY root;
        OleString path;
        Snapshot snapshot;
        ValueSpec value;
        bool existed;
    };
    std::vector<Step> steps_;
};

}  // namespace registration
}  // namespace comserver
