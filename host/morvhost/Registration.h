// Registers and unregisters COM in-process servers through their own exports
// (DllRegisterServer, DllUnregisterServer, DllInstall).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace morvhost {

// The in-process servers in `folder`: the shared libraries there that export
// DllRegisterServer, in name order.
std::vector<std::string> FindDeliverables(const std::string& folder);

// "0x80040154 (Class not registered)": a failure code with the system's text for it.
std::string HresultText(HRESULT hr);

// The folder that holds the running program.
std::string ProgramFolder();

struct RegistrationRequest {
    bool perUser = false;
    bool unregister = false;
};

// For an activation that answered REGDB_E_CLASSNOTREG: a damaged registry
// file gives the same answer, and is then the reason raised (HostError).
[[noreturn]] void ThrowNotRegistered(const std::string& plugin);

// Runs the library's own registration export; raises HostError with the
// library, the export and the failure code when it fails or is missing.
void RunRegistration(const std::string& library, const RegistrationRequest& request);

}  // namespace morvhost
