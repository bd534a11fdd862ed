// Runs registration scripts written in the ATL registrar syntax:
//
//   HKCR
//   {
//       NoRemove CLSID
//       {
//           ForceRemove {CLSID} = s 'Class name'
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Both'
//               }
//           }
//       }
//   }
//
// Roots: HKCR, HKCU, HKLM, HKU (and their HKEY_... names). Key flags: NoRemove
// (kept on unregistration), ForceRemove (deleted with its subtree before it is
// written, deleted on unregistration), Delete (deleted on registration). Values:
// "= s 'text'" (default value), "val Name = s 'text'"; types s (REG_SZ),
// e (REG_EXPAND_SZ), d (REG_DWORD: decimal or 0x hex), b (REG_BINARY: hex digits).
// Quoted text doubles a quote (''); %NAME% is replaced (names compare without
// case), %% is a percent sign. Unregistration removes a key that is not
// NoRemove when nothing is left below it, and removes the values it names.
//
// A script is parsed whole before anything is written: a malformed script or an
// unknown variable changes nothing. A registry failure half-way undoes what the
// run had written. The error text goes to the debugger output and LastError().
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace comserver {

struct Replacement {
    std::basic_string<OLECHAR> name;
    std::basic_string<OLECHAR> value;
};

class Registrar {
public:
    void AddReplacement(const OLECHAR* name, const OLECHAR* value);
    // Per-user mode: the root HKCR is written and removed under HKEY_CURRENT_USER\Software\Classes.
    void SetPerUser(bool perUser) { perUser_ = perUser; }

    // The script as stored in a resource: UTF-8 (or ASCII), or UTF-16LE starting with a byte-order mark.
    HRESULT Run(const void* script, size_t size, bool registering);
    HRESULT Register(const std::string& script) { return Run(script.data(), script.size(), true); }
    HRESULT Unregister(const std::string& script) { return Run(script.data(), script.size(), false); }
    // Runs the "REGISTRY" resource with this id of a module.
    HRESULT RunResource(HMODULE module, UINT resourceId, bool registering);

    // UTF-8 description of the last failure; empty after success.
    const std::string& LastError() const { return lastError_; }

private:
    std::vector<Replacement> replacements_;
    bool perUser_ = false;
    std::string lastError_;
};

}  // namespace comserver
