// The installer's program entry.
#include <windows.h>

#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/dll_search.h"
#include "launchcore/windows/startup.h"

namespace {

// The installer flow (integrity check, extraction, runtime choice, the Java side) runs here.
int runInstaller() { return 0; }

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // Windows-free code may log from its first call on.
    installDiagnosticSink();
    // Before anything loads a DLL: a DLL planted in the download folder beside the installer
    // must never be picked up.
    restrictDllSearch();
    initCommonControls();
    commonStartup(instance, processArguments(), true);
    logLine(L"setuplauncher start-up complete");
    return runInstaller();
}
