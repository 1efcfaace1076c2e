// The service launcher's program entry.
#include <windows.h>

#include "launchcore/windows/diagnostic_log.h"
#include "launchcore/windows/dll_search.h"
#include "launchcore/windows/startup.h"

namespace {

// The service commands, the run commands and the service dispatcher run here.
int runServiceLauncher() { return 0; }

} // namespace

int wmain(int, wchar_t**)
{
    // A service adds its library directories to the DLL search only when configured to.
    setDllDirectoriesNeedConfiguration(true);
    splitProcessCommandLine();
    installDiagnosticSink();
    // "-temp" belongs to the installer; a service keeps its default temporary directory.
    commonStartup(GetModuleHandleW(nullptr), argumentVector(), false);
    logLine(L"servicelauncher start-up complete");
    return runServiceLauncher();
}
