// Keeps the debugger output written while it lives: wincompat explains there
// what its calls only answer with a code (a damaged registry file, a library
// the loader refused).
#pragma once
#include <mutex>
#include <string>
#include <vector>

namespace morvhost {

class DebugOutputRecorder {
public:
    DebugOutputRecorder();
    // Gives the debugger output back to the sink WINCOMPAT_DEBUG_OUTPUT chooses.
    ~DebugOutputRecorder();
    DebugOutputRecorder(const DebugOutputRecorder&) = delete;
    DebugOutputRecorder& operator=(const DebugOutputRecorder&) = delete;

    // The text after `prefix` of the first recorded line that starts with it,
    // without its line break; empty when there is none.
    std::string LineAfter(const std::string& prefix) const;

private:
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
};

// The registry's own account of a damaged registry file ("FILE is damaged
// and is not used (line N: REASON); ..."), or empty when every file reads.
std::string RegistryDamage();

}  // namespace morvhost
