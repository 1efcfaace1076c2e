#include "launchcore/windows/cleanup_exit.h"

#include <windows.h>

namespace {
bool g_languageRestart = false;
}

void setLanguageRestart(bool restarting) { g_languageRestart = restarting; }
bool languageRestart() { return g_languageRestart; }

[[noreturn]] void exitWithCleanup(unsigned code)
{
    // The extraction directory is emptied here once payload extraction exists; ExitProcess
    // skips the runtime library's exit handlers, so a log that was shown stays on disk.
    ExitProcess(code);
}
