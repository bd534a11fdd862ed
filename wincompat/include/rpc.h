// The RPC base header that MIDL-generated sources include first. Only what
// those sources need: the Win32 subset, and the RPC status type and calling
// conventions with the SDK's names; there is no RPC runtime on this platform.
#pragma once
#ifndef RPC_NO_WINDOWS_H
#include "windows.h"
#endif
#include "windef.h"

typedef LONG RPC_STATUS;

#define RPC_UNICODE_SUPPORTED
#define __RPC_FAR
#define __RPC_API __stdcall
#define __RPC_USER __RPC_API
#define __RPC_STUB __RPC_API
#define RPC_ENTRY __RPC_API
