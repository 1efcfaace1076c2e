// The service launcher's program entry.
#include <windows.h>

#include "launchcore/windows/diagnostic_log.h"
#include "launchcore/windows/dll_search.h"
#include "launchcore/windows/launcher_program.h"
#include "servicelauncher/windows/service_launcher.h"

int wmain(int, wchar_t**)
{
    // A service adds its library directories to the DLL search only when configured to.
    setLauncherProgram(LauncherProgram::Service);
    setDllDirectoriesNeedConfiguration(true);
    installDiagnosticSink();
    return serviceLauncherMain(GetModuleHandleW(nullptr));
}
