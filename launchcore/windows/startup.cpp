#include "launchcore/windows/startup.h"

#include <algorithm>
#include <array>

#include "launchcore/configuration_entries.h"
#include "launchcore/command_line.h"
#include "launchcore/configuration.h"
#include "launchcore/windows/appended_data.h"
#include "launchcore/windows/base/late_binding.h"
#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/log/temporary_directory.h"
#include "launchcore/windows/messages/error_display.h"
#include "launchcore/windows/messages/message_texts.h"
#include "launchcore/windows/process_paths.h"
#include "launchcore/windows/state/launcher_state.h"
#include "launchcore/windows/variable_expansion.h"

namespace {

// The longest working directory taken from the configuration, in UTF-16 units.
constexpr size_t kWorkingDirectoryUnits = 5999;

bool isKeepLogSwitch(const std::wstring& argument)
{
    static const std::array<const wchar_t*, 4> switches = {L"-create-sldk-log", L"-create-vxn-log",
                                                           L"/create-sldk-log", L"/create-vxn-log"};
    return std::any_of(switches.begin(), switches.end(), [&](const wchar_t* s) { return argument == s; });
}

void changeWorkingDirectory()
{
    std::wstring directory = configStringWide(config_entry::kWorkingDirectory);
    if (directory.size() > kWorkingDirectoryUnits)
        directory.resize(kWorkingDirectoryUnits);
    if (directory.empty()) {
        logLine(L"working directory unchanged");
        return;
    }
    // The 8-bit forms keep the result consistent with the widened launcher directory that
    // fullPath puts in front of a relative entry.
    expandLauncherVariablesWide(directory, true);
    const std::wstring full = fullPath(directory, true, true);
    const BOOL changed = !full.empty() && SetCurrentDirectoryW(full.c_str());
    const DWORD error = GetLastError();
    logLine(L"change working directory to %s", full.c_str());
    if (!changed)
        logError(L"could not change working directory to %s (%d)", full.c_str(), static_cast<int>(error));
}

} // namespace

std::vector<std::wstring> processArguments()
{
    std::vector<std::u16string> split;
    const wchar_t* commandLine = GetCommandLineW();
    splitCommandLine(toU16(commandLine ? commandLine : L""), split);
    std::vector<std::wstring> arguments;
    arguments.reserve(split.size());
    for (const std::u16string& argument : split)
        arguments.push_back(toWide(argument));
    return arguments;
}

bool takeKeepLogSwitch(std::vector<std::wstring>& arguments)
{
    // Only directly after the program name, so the same text further on reaches the
    // application untouched.
    if (arguments.size() < 2 || !isKeepLogSwitch(arguments[1]))
        return false;
    arguments.erase(arguments.begin() + 1);
    return true;
}

// "-temp DIR" may stand anywhere; a usable directory stays in the vector so the Java side
// sees the switch too.
void takeManualTemporaryDirectory(std::vector<std::wstring>& arguments)
{
    const auto found = std::find_if(arguments.begin() + (arguments.empty() ? 0 : 1), arguments.end(),
                                    [](const std::wstring& a) { return a == L"-temp" || a == L"/temp"; });
    if (found == arguments.end())
        return;
    const size_t index = static_cast<size_t>(found - arguments.begin());
    if (index + 1 >= arguments.size() || arguments[index + 1].empty()) {
        arguments.erase(arguments.begin() + static_cast<std::ptrdiff_t>(index));
        return;
    }
    const std::wstring directory = arguments[index + 1];
    std::string ansi;
    if (setManualTemporaryDirectory(directory, &ansi)) {
        logLine(L"Using manual temp dir %s (%S)", directory.c_str(), ansi.c_str());
        return;
    }
    logLine(L"Manual temp dir not usable %s (%S)", directory.c_str(), ansi.c_str());
    arguments.erase(arguments.begin() + static_cast<std::ptrdiff_t>(index),
                    arguments.begin() + static_cast<std::ptrdiff_t>(index) + 2);
}

void commonStartup(HINSTANCE instance, std::vector<std::wstring> arguments, bool manualTemporaryDirectoryAllowed)
{
    setExtractionDirectory({});

    const bool keepLog = takeKeepLogSwitch(arguments);
    if (keepLog)
        setKeepLogRequested();

    if (manualTemporaryDirectoryAllowed)
        takeManualTemporaryDirectory(arguments);
    setArgumentVector(std::move(arguments));

    loadAppendedData();

    setInstanceHandle(instance);
    char kind[2] = {};
    configString(config_entry::kProductKind, kind, sizeof(kind));
    setProductKindLetter(kind[0]);

    if (!languageRestart())
        changeWorkingDirectory();

    if (keepLog)
        offerToShowLog();
}

void initCommonControls()
{
    // Late bound: a comctl32.dll planted beside the installer must never load.
    using InitCommonControlsFn = void(WINAPI*)();
    if (const auto init = lateBound<InitCommonControlsFn>(L"comctl32.dll", "InitCommonControls"))
        init();
}
