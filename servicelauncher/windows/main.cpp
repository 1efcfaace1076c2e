// The service launcher's program entry.
#include <windows.h>

#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/state/launcher_state.h"
#include "servicelauncher/windows/service_launcher.h"

int wmain(int, wchar_t**)
{
    // A few start-up steps differ for the service launcher (DLL directories, helper natives).
    setLauncherProgram(LauncherProgram::Service);
    installDiagnosticSink();
    return serviceLauncherMain(GetModuleHandleW(nullptr));
}
