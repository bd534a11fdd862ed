// The checks of the Windows test host: one line per check, "ok" or "FAIL";
// the process's exit status is the number that failed.
#pragma once
#include <windows.h>

#include <string>

namespace windows_test {

void ExpectResult(const char* what, HRESULT expected, HRESULT actual);
void ExpectTrue(const char* what, bool condition, const std::string& detail = std::string());
void ExpectText(const char* what, const std::wstring& expected, const std::wstring& actual);
int FailedChecks();

// The whole of a module's export `name` called without arguments.
HRESULT CallExport(HMODULE module, const char* name);

// Runs a program of the platform (regsvr32 and the like) and returns its exit code, or -1.
long RunProgram(const std::wstring& commandLine);

}  // namespace windows_test
