// The base variant types OLE Automation knows, shared by the conversions and
// by initialising, clearing and copying.
#pragma once
#include <windows.h>

namespace wincompat {
namespace oleaut {

inline bool IsValidBaseType(VARTYPE base) {
    switch (base) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_ERROR:
        case VT_BOOL:
        case VT_VARIANT:
        case VT_UNKNOWN:
        case VT_DECIMAL:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
        case VT_RECORD: return true;
        default: return false;
    }
}

}  // namespace oleaut
}  // namespace wincompat
