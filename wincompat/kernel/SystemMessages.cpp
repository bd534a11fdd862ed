// The system message table: Windows' English texts by message number, searched by bisection; a
// Win32 error wrapped in an HRESULT reads the Win32 text.
#include "kernel/SystemMessages.h"

#include <algorithm>
#include <iterator>

namespace wincompat {
namespace {

struct SystemMessage {
    DWORD id;
    const char16_t* text;
};

// Sorted by number. Codes in the 0x80040200 range are shared by several headers
// (SELFREG_E_TYPELIB is CO_E_FAILEDTOIMPERSONATE); the table is keyed by number,
// so they read the text Windows holds for that number.
constexpr SystemMessage kMessages[] = {
    {0, u"The operation completed successfully.\r\n"},
    {1, u"Incorrect function.\r\n"},
    {2, u"The system cannot find the file specified.\r\n"},
    {3, u"The system cannot find the path specified.\r\n"},
    {4, u"The system cannot open the file.\r\n"},
    {5, u"Access is denied.\r\n"},
    {6, u"The handle is invalid.\r\n"},
    {8, u"Not enough memory resources are available to process this command.\r\n"},
    {11, u"An attempt was made to load a program with an incorrect format.\r\n"},
    {13, u"The data is invalid.\r\n"},
    {14, u"Not enough memory resources are available to complete this operation.\r\n"},
    {18, u"There are no more files.\r\n"},
    {29, u"The system cannot write to the specified device.\r\n"},
    {30, u"The system cannot read from the specified device.\r\n"},
    {31, u"A device attached to the system is not functioning.\r\n"},
    {32, u"The process cannot access the file because it is being used by another process.\r\n"},
    {33, u"The process cannot access the file because another process has locked a portion of the file.\r\n"},
    {38, u"Reached the end of the file.\r\n"},
    {50, u"The request is not supported.\r\n"},
    {80, u"The file exists.\r\n"},
    {87, u"The parameter is incorrect.\r\n"},
    {112, u"There is not enough space on the disk.\r\n"},
    {120, u"This function is not supported on this system.\r\n"},
    {121, u"The semaphore timeout period has expired.\r\n"},
    {122, u"The data area passed to a system call is too small.\r\n"},
    {123, u"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126, u"The specified module could not be found.\r\n"},
    {127, u"The specified procedure could not be found.\r\n"},
    {145, u"The directory is not empty.\r\n"},
    {161, u"The specified path is invalid.\r\n"},
    {183, u"Cannot create a file when that file already exists.\r\n"},
    {206, u"The filename or extension is too long.\r\n"},
    {231, u"All pipe instances are busy.\r\n"},
    {234, u"More data is available.\r\n"},
    {258, u"The wait operation timed out.\r\n"},
    {259, u"No more data is available.\r\n"},
    {288, u"Attempt to release mutex not owned by caller.\r\n"},
    {317, u"The system cannot find message text for message number 0x%1 in the message file for %2.\r\n"},
    {997, u"Overlapped I/O operation is in progress.\r\n"},
    {1004, u"Invalid flags.\r\n"},
    {1009, u"The configuration registry database is corrupt.\r\n"},
    {1010, u"The configuration registry key is invalid.\r\n"},
    {1011, u"The configuration registry key could not be opened.\r\n"},
    {1012, u"The configuration registry key could not be read.\r\n"},
    {1013, u"The configuration registry key could not be written.\r\n"},
    {1015,
     u"The registry is corrupted. The structure of one of the files containing registry data is corrupted, "
     u"or the system's memory image of the file is corrupted, or the file could not be recovered because the "
     u"alternate copy or log was absent or corrupted.\r\n"},
    {1018, u"Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
    {1020, u"Cannot create a symbolic link in a registry key that already has subkeys or values.\r\n"},
    {1113, u"No mapping for the Unicode character exists in the target multi-byte code page.\r\n"},
    {1168, u"Element not found.\r\n"},
    {1223, u"The operation was canceled by the user.\r\n"},
    {1460, u"This operation returned because the timeout period expired.\r\n"},
    {1812, u"The specified image file did not contain a resource section.\r\n"},
    {1813, u"The specified resource type cannot be found in the image file.\r\n"},
    {1814, u"The specified resource name cannot be found in the image file.\r\n"},
    {15100, u"The specified resource language ID cannot be found in the image file.\r\n"},
    {0x8000000A, u"The data necessary to complete this operation is not yet available.\r\n"},
    {0x80004001, u"Not implemented\r\n"},
    {0x80004002, u"No such interface supported\r\n"},
    {0x80004003, u"Invalid pointer\r\n"},
    {0x80004004, u"Operation aborted\r\n"},
    {0x80004005, u"Unspecified error\r\n"},
    {0x8000FFFF, u"Catastrophic failure\r\n"},
    {0x80010106, u"Cannot change thread mode after it is set.\r\n"},
    {0x80020001, u"Unknown interface.\r\n"},
    {0x80020003, u"Member not found.\r\n"},
    {0x80020004, u"Parameter not found.\r\n"},
    {0x80020005, u"Type mismatch.\r\n"},
    {0x80020006, u"Unknown name.\r\n"},
    {0x80020007, u"No named arguments.\r\n"},
    {0x80020008, u"Bad variable type.\r\n"},
    {0x80020009, u"Exception occurred.\r\n"},
    {0x8002000A, u"Out of present range.\r\n"},
    {0x8002000B, u"Invalid index.\r\n"},
    {0x8002000C, u"Unknown language.\r\n"},
    {0x8002000D, u"Memory is locked.\r\n"},
    {0x8002000E, u"Invalid number of parameters.\r\n"},
    {0x8002000F, u"Parameter not optional.\r\n"},
    {0x80020010, u"Invalid callee.\r\n"},
    {0x80020011, u"Does not support a collection.\r\n"},
    {0x80020012, u"Division by zero.\r\n"},
    {0x80020013, u"Buffer too small\r\n"},
    {0x8002801C, u"Error accessing the OLE registry.\r\n"},
    {0x8002801D, u"Library not registered.\r\n"},
    {0x8002802B, u"Element not found.\r\n"},
    {0x80028CA2, u"I/O Error.\r\n"},
    {0x80029C4A, u"Error loading type library/DLL.\r\n"},
    {0x80030002, u"%1 could not be found.\r\n"},
    {0x80030005, u"Access Denied.\r\n"},
    {0x80040110, u"Class does not support aggregation (or class object is remote)\r\n"},
    {0x80040111, u"ClassFactory cannot supply requested class\r\n"},
    {0x80040112, u"Class is not licensed for use\r\n"},
    {0x80040150, u"Could not read key from registry\r\n"},
    {0x80040151, u"Could not write key to registry\r\n"},
    {0x80040152, u"Could not find the key in the registry\r\n"},
    {0x80040154, u"Class not registered\r\n"},
    {0x80040155, u"Interface not registered\r\n"},
    {0x800401F0, u"CoInitialize has not been called.\r\n"},
    {0x800401F1, u"CoInitialize has already been called.\r\n"},
    {0x800401F3, u"Invalid class string\r\n"},
    {0x800401F4, u"Invalid interface string\r\n"},
    {0x800401F5, u"Application not found\r\n"},
    {0x800401F8, u"DLL for class not found\r\n"},
    {0x800401F9, u"Error in the DLL\r\n"},
    {0x80040200, u"Unable to impersonate DCOM client\r\n"},
    {0x80040201, u"Unable to obtain server's security context\r\n"},
};

constexpr bool IsSortedByNumber() {
    for (size_t i = 1; i < std::size(kMessages); ++i)
        if (kMessages[i - 1].id >= kMessages[i].id) return false;
    return true;
}
static_assert(IsSortedByNumber(), "the message table is searched by bisection");

const char16_t* LookUp(DWORD id) {
    auto found = std::lower_bound(std::begin(kMessages), std::end(kMessages), id,
                                  [](const SystemMessage& message, DWORD key) { return message.id < key; });
    return found != std::end(kMessages) && found->id == id ? found->text : nullptr;
}

}  // namespace

const char16_t* FindSystemMessage(DWORD messageId) {
    if (const char16_t* text = LookUp(messageId)) return text;
    bool win32Failure = (messageId & 0xFFFF0000u) == 0x80070000u;
    return win32Failure ? LookUp(messageId & 0xFFFFu) : nullptr;
}

}  // namespace wincompat
