// Base structures shared by the kernel32 and advapi32 headers, as the SDK's
// minwinbase.h holds them.
#pragma once
#include "windef.h"

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;
