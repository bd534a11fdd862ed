// Reading a type library in the "MSFT" format that MIDL and widl write: the
// library's identity and, for each type, its kind, name, GUID, flags and
// documentation. Member descriptions are not read: registration needs none.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace wincompat {
namespace typelib {

struct TypeDescription {
    TYPEKIND kind = TKIND_MAX;
    std::u16string name;
    std::u16string docString;
    GUID guid = GUID_NULL;
    WORD flags = 0;  // TYPEFLAGS
    WORD majorVersion = 0;
    WORD minorVersion = 0;
    DWORD helpContext = 0;
    WORD functionCount = 0;
    WORD variableCount = 0;
    WORD implementedCount = 0;
    WORD vtableSize = 0;
    ULONG instanceSize = 0;
    WORD alignment = 0;
};

struct LibraryDescription {
    std::u16string name;
    std::u16string docString;
    std::u16string helpFile;
    DWORD helpContext = 0;
    GUID libid = GUID_NULL;
    LCID lcid = 0;
    SYSKIND syskind = SYS_WIN32;
    WORD majorVersion = 0;
    WORD minorVersion = 0;
    WORD flags = 0;  // LIBFLAGS
    std::vector<TypeDescription> types;
};

// False with a reason when the bytes are not a well-formed MSFT type library.
bool ParseMsft(const std::vector<unsigned char>& bytes, LibraryDescription& library, std::string& error);

}  // namespace typelib
}  // namespace wincompat
