// wincompat extension (no Windows counterpart): where OutputDebugString goes.
#pragma once
#include <functional>
#include <string>

namespace wincompat {

// Receives each debugger-output string as UTF-8. Passing an empty function
// restores the default sink, chosen by the WINCOMPAT_DEBUG_OUTPUT variable:
// unset or empty: silent; "stderr": standard error; anything else: a file path to append to.
using DebugOutputSink = std::function<void(const std::string& utf8)>;
void SetDebugOutputSink(DebugOutputSink sink);

}  // namespace wincompat
