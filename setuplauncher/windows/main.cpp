// The installer's program entry.
#include <windows.h>

#include "launchcore/windows/log/diagnostic_log.h"
#include "setuplauncher/windows/installer_main.h"

// The 8-bit entry: the restart markers are read from the tail as this entry receives it.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR tail, int)
{
    // Windows-free code may log from its first call on.
    installDiagnosticSink();
    return installerMain(instance, tail);
}
