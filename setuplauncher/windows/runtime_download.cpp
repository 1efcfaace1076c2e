#include "setuplauncher/windows/runtime_download.h"

#include "launchcore/windows/exit/fatal_exit.h"
#include "launchcore/windows/log/diagnostic_log.h"

void offerRuntimeDownload(HWND)
{
    // Not built yet: the installer ends as it does when no runtime can be started.
    logError(L"runtime download not available");
    fatalMessage(1005);
}
