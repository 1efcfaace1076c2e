#include "launchcore/windows/exit/fatal_exit.h"

#include <windows.h>

#include <string>

#include "launchcore/windows/files/extraction_directory.h"
#include "launchcore/windows/messages/error_display.h"
#include "launchcore/windows/state/launcher_state.h"

[[noreturn]] void exitWithCleanup(unsigned code)
{
    const std::string& directory = extractionDirectory();
    if (!languageRestart() && !directory.empty()) {
        // The installer works inside the directory, and a process cannot remove its own
        // current directory: step out into the parent first.
        const size_t separator = directory.find_last_of('\\');
        if (separator != std::string::npos)
            SetCurrentDirectoryA(directory.substr(0, separator + 1).c_str());
        deleteDirectoryTree(directory);
    }
    // ExitProcess skips the runtime library's exit handlers, so a log that was shown stays
    // on disk.
    ExitProcess(code);
}

[[noreturn]] void fatalError(const std::wstring& text)
{
    showError(text);
    exitWithCleanup(1);
}

[[noreturn]] void fatalMessage(int id)
{
    showMessage(id);
    exitWithCleanup(1);
}

[[noreturn]] void fatalMessage(int id, const wchar_t* argument)
{
    showMessage(id, argument);
    exitWithCleanup(1);
}

[[noreturn]] void fatalMessage(int id, const char* argument)
{
    showMessage(id, argument);
    exitWithCleanup(1);
}
