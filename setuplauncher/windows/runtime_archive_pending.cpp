#include "setuplauncher/windows/runtime_archive.h"

#include "launchcore/windows/exit/fatal_exit.h"
#include "launchcore/windows/log/diagnostic_log.h"

// Not built yet: an installer with an included runtime ends as one whose runtime is corrupted.
void prepareIncludedRuntime(HWND)
{
    logError(L"Could not untar JRE");
    fatalError(L"The bundled JRE is corrupted. If you downloaded the setup file please download it again.");
}

void loadIncludedRuntime() { prepareIncludedRuntime(nullptr); }
