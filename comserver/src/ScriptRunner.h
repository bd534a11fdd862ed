// The registrar's runner: a parsed key tree written to or removed from one
// open root, each change noted in the undo journal.
#pragma once
#include <windows.h>

#include "RegistryScript.h"
#include "UndoJournal.h"

namespace comserver {
namespace registration {

class Runner {
public:
    // `root` and `journal` are borrowed for the runner's life.
    Runner(HKEY root, Journal& journal) : root_(root), journal_(journal) {}

    HRESULT Register(const OleString& parentPath, const KeySpec& key);
    HRESULT Unregister(const OleString& parentPath, const KeySpec& key);

private:
    HRESULT RemoveTree(const OleString& parentPath, const OleString& name);
    HRESULT SetValue(HKEY key, const OleString& path, const ValueSpec& value);
    HRESULT RemoveValue(HKEY key, const OleString& path, const OleString& valueName);

    HKEY root_;
    Journal& journal_;
};

}  // namespace registration
}  // namespace comserver
