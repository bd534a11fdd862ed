// The Windows test host: the real DLLs on a Windows platform nobody here
// wrote (Wine). It knows the plug-ins only by their CLSIDs and the host
// interfaces of their type libraries, as the management server does: it
// registers them with regsvr32, activates and calls them with a recording
// ADO double for the host database, and leaves what it read back for the
// comparison with the Linux build:
//
//   zelkwintest MARLIND_DLL QUILLET_DLL SAMPLES_DIR OUT_DIR
//
// OUT_DIR receives registry\<plug-in>.reg and statements\<document>.jsonl.
// One line per check; the exit status is the number of checks that failed.
#include <initguid.h>

#include <cstdio>

#include "Checks.h"
#include "Plugins.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: zelkwintest MARLIND_DLL QUILLET_DLL SAMPLES_DIR OUT_DIR\n");
        return 100;
    }
    const std::wstring marlind = argv[1], quillet = argv[2], samples = argv[3], out = argv[4];
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 100;
    CreateDirectoryW(out.c_str(), nullptr);
    if (windows_test::RegisterPlugins(marlind, quillet, out + L"\\registry")) {
        windows_test::CheckMarlind(samples, out + L"\\statements");
        windows_test::CheckQuillet();
        CoFreeUnusedLibraries();
    }
    windows_test::UnregisterPlugins(marlind, quillet);
    CoUninitialize();
    std::printf("%d check(s) failed\n", windows_test::FailedChecks());
    return windows_test::FailedChecks();
}
