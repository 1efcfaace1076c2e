#include "servicelauncher/windows/service_launcher.h"

#include <string>
#include <vector>

#include "launchcore/command_line.h"
#include "launchcore/windows/JavaVMLauncher.h"
#include "launchcore/windows/cleanup_exit.h"
#include "launchcore/windows/diagnostic_log.h"
#include "launchcore/windows/launcher_program.h"
#include "launchcore/windows/dll_search.h"
#include "launchcore/windows/error_display.h"
#include "launchcore/windows/payload.h"
#include "launchcore/windows/single_instance.h"
#include "launchcore/windows/startup.h"
#include "launchcore/windows/text_conversion.h"

namespace {

const wchar_t kWorkerMarker[] = L"__sldk_restart";

// "/x", "-x", "--x" and "/-x" all name the command "x".
std::wstring commandWord(const std::wstring& argument)
{
    std::wstring word = argument.substr(1);
    if (!word.empty() && word[0] == L'-')
        word.erase(0, 1);
    return word;
}

} // namespace

void runInProcess(bool registerConsoleHandler)
{
    if (extractPayload(true) != 0)
        fatalMessage(1009, "16");
    addNativeLibraryDirectories();
    (void)registerConsoleHandler; // the worker's console handler arrives with the service run time
    enforceSingleInstance();
    if (!LoadDLL(true, nullptr, false) || !launchProgram(argumentVector(), true))
        exitWithCleanup(1);
}

int serviceLauncherMain(HMODULE module)
{
    // The service launcher has no start-up switches: the keep-log and "-temp" switches are
    // left to the Java application.
    setServiceMode(true);
    std::vector<std::wstring> noArguments;
    commonStartup(module, noArguments, false);
    const wchar_t* commandLine = GetCommandLineW();
    logLine(L"command line %s", commandLine);

    std::vector<std::wstring>& arguments = argumentVector();
    arguments.clear();
    std::vector<std::u16string> split;
    splitCommandLine(toU16(commandLine), split);
    for (const std::u16string& argument : split)
        arguments.push_back(toWide(argument));
    std::wstring program;
    if (!arguments.empty()) {
        program = arguments.front();
        arguments.erase(arguments.begin());
    }

    if (!arguments.empty() && arguments.back() == kWorkerMarker) {
        arguments.pop_back();
        runInProcess(true);
        return 0;
    }
    if (arguments.empty() || (arguments.front()[0] != L'/' && arguments.front()[0] != L'-'))
        return 0; // the service dispatcher follows here

    const std::wstring word = commandWord(arguments.front());
    arguments.erase(arguments.begin());
    if (word == L"run" || word == L"run-redirect") {
        if (word == L"run") {
            logLine(L"running service");
            setNoRedirection(true);
        } else {
            logLine(L"running service with redirection");
        }
        setServiceMode(false);
        arguments.insert(arguments.begin(), program);
        runInProcess(false);
        return 0;
    }
    return 0;
}
