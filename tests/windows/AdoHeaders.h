// The SDK's ADO interfaces as mingw-w64 declares them, and the stub bases of
// wincompat's ADO objects (every slot in the SDK's order, each method
// E_NOTIMPL until overridden): the recording double spells out only what it
// answers. mingw-w64 declares the position parameters as PositionEnum, the
// Windows SDK as PositionEnum_Param; both are 32 bits here.
#pragma once
#include <windows.h>

#include <adoint.h>

typedef PositionEnum PositionEnum_Param;

#include "ado/Stubs.h"
