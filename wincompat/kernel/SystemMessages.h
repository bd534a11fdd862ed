// The system message table: Windows' English texts for Win32 error codes and
// the HRESULTs of COM and OLE Automation.
#pragma once
#include <windows.h>

namespace wincompat {

// The text for a message number, as the system message table holds it (ending in
// "\r\n", inserts such as %1 left in place), or null if Windows has none.
// HRESULTs of FACILITY_WIN32 read the text of their Win32 code.
const char16_t* FindSystemMessage(DWORD messageId);

}  // namespace wincompat
