// Collects the debugger output line by line while a recorder lives; RegistryDamage reads from it
// wincompat's account of a registry file it refused (ERROR_BADDB).
#include "DebugOutputRecorder.h"

#include <windows.h>

#include <sstream>

#include "wincompat/DebugOutput.h"

namespace morvhost {

DebugOutputRecorder::DebugOutputRecorder() {
    wincompat::SetDebugOutputSink([this](const std::string& text) {
        std::lock_guard<std::mutex> guard(lock_);
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) lines_.push_back(line);
    });
}

DebugOutputRecorder::~DebugOutputRecorder() { wincompat::SetDebugOutputSink(nullptr); }

std::string DebugOutputRecorder::LineAfter(const std::string& prefix) const {
    std::lock_guard<std::mutex> guard(lock_);
    for (const std::string& line : lines_)
        if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size());
    return std::string();
}

std::string RegistryDamage() {
    DebugOutputRecorder recorder;
    bool damaged = false;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        HKEY key = nullptr;
        LONG status = RegOpenKeyExW(root, OLESTR("Software"), 0, KEY_READ, &key);
        if (status == ERROR_SUCCESS) RegCloseKey(key);
        damaged = damaged || status == ERROR_BADDB;
    }
    if (!damaged) return std::string();
    std::string account = recorder.LineAfter("wincompat registry: ");
    return account.empty() ? "a registry file is damaged (ERROR_BADDB)" : account;
}

}  // namespace morvhost
