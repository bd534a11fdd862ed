// The check reports of the Windows test host, the failure count its exit status comes from, and the
// calls the checks make of DLL exports and other programs.
#include "Checks.h"

#include <cstdio>
#include <vector>

#include "StatementLogWriter.h"

namespace windows_test {
namespace {

int failures = 0;

void Report(bool ok, const char* what, const std::string& detail) {
    if (!ok) ++failures;
    std::printf("%s %s%s%s\n", ok ? "ok  " : "FAIL", what, detail.empty() ? "" : ": ", detail.c_str());
    std::fflush(stdout);
}

}  // namespace

void ExpectResult(const char* what, HRESULT expected, HRESULT actual) {
    char detail[64];
    std::snprintf(detail, sizeof detail, "0x%08lX (expected 0x%08lX)", static_cast<unsigned long>(actual),
                  static_cast<unsigned long>(expected));
    Report(expected == actual, what, detail);
}

void ExpectTrue(const char* what, bool condition, const std::string& detail) {
    Report(condition, what, condition ? std::string() : detail);
}

void ExpectText(const char* what, const std::wstring& expected, const std::wstring& actual) {
    Report(expected == actual, what,
           expected == actual ? std::string() : "\"" + Utf8(actual) + "\", expected \"" + Utf8(expected) + "\"");
}

int FailedChecks() { return failures; }

HRESULT CallExport(HMODULE module, const char* name) {
    using EntryPoint = HRESULT(STDAPICALLTYPE*)();
    FARPROC entry = GetProcAddress(module, name);
    if (!entry) return HRESULT_FROM_WIN32(GetLastError());
    return reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(entry))();
}

long RunProgram(const std::wstring& commandLine) {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<long>(code);
}

}  // namespace windows_test
