#include "setuplauncher/windows/installer_main.h"

#include "launchcore/windows/dll_search.h"
#include "launchcore/windows/exit/fatal_exit.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/messages/error_display.h"
#include "launchcore/windows/single_instance.h"
#include "launchcore/windows/startup.h"
#include "launchcore/windows/state/launcher_state.h"
#include "launchcore/windows/system_reboot.h"
#include "setuplauncher/restart_markers.h"
#include "setuplauncher/windows/deferred_deletion.h"
#include "setuplauncher/windows/installer_state.h"
#include "setuplauncher/windows/integrity_check.h"
#include "setuplauncher/windows/progress_scale.h"

namespace {

// The user's switches, anywhere in the argument vector (element 0 included), compared in
// full and with their case; returns whether the progress window is asked for in quiet mode.
bool takeInstallerSwitches(const std::vector<std::wstring>& arguments)
{
    bool splash = false;
    bool console = false;
    for (const std::wstring& argument : arguments) {
        if (argument == L"-q") {
            setQuiet(true);
            disableGuiErrorMode();
        } else if (argument == L"-console") {
            console = attachConsole();
        } else if (argument == L"-splash") {
            splash = true;
        } else if (argument == L"-nocheck") {
            setIntegrityCheck(false);
        } else if (argument == L"-c") {
            setQuiet(true);
            disableGuiErrorMode();
            if (!console && !(console = attachConsole())) {
                MessageBoxA(nullptr, "Error: Could not allocate console.", "sealdeck", MB_OK);
                exitWithCleanup(1);
            }
        } else if (argument == L"-manual" || argument == L"/manual") {
            setManualRuntimeSwitch(true);
        }
    }
    return splash;
}

} // namespace

int installerMain(HINSTANCE instance, const char* tail)
{
    // Before anything loads a DLL: a DLL planted in the download folder beside the installer
    // must never be picked up.
    restrictDllSearch();

    const RestartMarkers markers = recognizeRestartMarkers(tail ? tail : "");
    if (markers.reboot) {
        rebootAfterDelay();
        return 0;
    }
    setQuiet(false);
    if (markers.languageRestart) {
        logLine(L"language restart");
        setLanguageRestart(true);
        setQuiet(true);
    }
    if (markers.extractAndExit) {
        logLine(L"extract and exit mode");
        setExtractAndExit(true);
    }
    initCommonControls();
    std::vector<std::wstring> arguments = processArguments();
    // Without the list's path the marker means nothing, and this is a normal start.
    if (markers.deferredDeletion && arguments.size() >= 3)
        return runDeferredDeletion(arguments[2]);

    commonStartup(instance, std::move(arguments), true);
    setIntegrityCheck(true);
    const bool splash = takeInstallerSwitches(argumentVector());
    if (!languageRestart())
        enforceSingleInstance();
    logLine(L"Init done");

    if (quiet() && !splash)
        logLine(L"Quiet installer.");
    // The progress window comes with the runtime preparation; until then every mode runs
    // the work on this thread.
    prepareAndLaunch(nullptr);
    return 0;
}

int prepareAndLaunch(HWND window)
{
    logLine(L"Starting work");
    if (window) {
        setProgressPosition(window, 1);
        setProgressRange(window, 0, 400);
    }
    if (!languageRestart())
        verifyIntegrity(window);
    return 0;
}
