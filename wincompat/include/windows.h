// Umbrella header: the Win32 subset that the plug-ins and the host use.
#pragma once
#include "windef.h"
#include "winerror.h"
#include "winnls.h"
#include "winbase.h"
#include "objbase.h"
#include "oleauto.h"
#if __has_include("winreg.h")
#include "winreg.h"
#endif
#if __has_include("libloaderapi.h")
#include "libloaderapi.h"
#endif
#if __has_include("fileapi.h")
#include "fileapi.h"
#endif
#if __has_include("synchapi.h")
#include "synchapi.h"
#endif
