// The classes that wincompat itself provides (the DOM documents, the ADO
// objects). Activation finds them before it looks in the registry, as the
// system-installed MSXML and ADO are always there on Windows.
#pragma once
#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace wincompat {

// Creates an instance; pUnkOuter non-null asks for aggregation.
using InstanceCreator = HRESULT (*)(IUnknown* pUnkOuter, REFIID riid, void** ppv);

struct BuiltinClass {
    CLSID clsid;
    std::vector<std::u16string> progIds;  // first is the one ProgIDFromCLSID gives
    InstanceCreator create;
};

void RegisterBuiltinClass(const CLSID& clsid, std::initializer_list<const char16_t*> progIds, InstanceCreator create);
// Null when the CLSID is not built in. Entries live as long as the process.
const BuiltinClass* FindBuiltinClass(REFCLSID clsid);
const BuiltinClass* FindBuiltinClassByProgId(LPCOLESTR progId);

// Registers at load time: `static BuiltinClassRegistration r(CLSID_X, {u"Prog.Id"}, &CreateX);`
struct BuiltinClassRegistration {
    BuiltinClassRegistration(const CLSID& clsid, std::initializer_list<const char16_t*> progIds,
                             InstanceCreator create) {
        RegisterBuiltinClass(clsid, progIds, create);
    }
};

}  // namespace wincompat
