#include "launchcore/windows/cleanup_exit.h"

#include <windows.h>

#include <string>

#include "launchcore/windows/payload.h"
#include "launchcore/windows/temp_directory.h"

namespace {
bool g_languageRestart = false;
}

void setLanguageRestart(bool restarting) { g_languageRestart = restarting; }
bool languageRestart() { return g_languageRestart; }

[[noreturn]] void exitWithCleanup(unsigned code)
{
    if (!languageRestart()) {
        const std::string directory = extractionDirectory();
        if (!directory.empty()) {
            emptyDirectory(directory, true);
            RemoveDirectoryA(directory.c_str());
        }
    }
    // ExitProcess skips the runtime library's exit handlers, so a log that was shown stays
    // on disk.
    ExitProcess(code);
}
