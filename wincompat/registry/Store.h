// Hive files on disk: where they live, how a change is saved (under an
// exclusive file lock, after re-reading the file, by writing a temporary file
// and renaming it over the old one), and a per-process cache of their content.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "registry/Hive.h"

namespace wincompat {
namespace registry {

enum class HiveId { LocalMachine, CurrentUser, Users };

// WINCOMPAT_REGISTRY_DIR, else $XDG_DATA_HOME/wincompat/registry, else ~/.local/share/wincompat/registry.
std::string RegistryDirectory();
const char* HiveRootName(HiveId hive);

// Runs `read` on the hive's current content. A damaged file gives ERROR_BADDB
// (and a message on the debugger output); a missing file is an empty hive.
LONG ReadHive(HiveId hive, const std::function<LONG(const Key& root)>& read);
// Runs `change` on the hive's content freshly read under the file lock, and
// saves the result when `change` returns ERROR_SUCCESS and set `changed`.
LONG ModifyHive(HiveId hive, const std::function<LONG(Key& root, bool& changed)>& change);

}  // namespace registry
}  // namespace wincompat
