#include "setuplauncher/windows/java_window_wait.h"

#include "launchcore/configuration.h"
#include "launchcore/configuration_entries.h"
#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/exit/fatal_exit.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/process_windows.h"
#include "setuplauncher/java_window_wait.h"
#include "setuplauncher/windows/install_started_markers.h"
#include "setuplauncher/windows/installer_state.h"
#include "setuplauncher/windows/progress_scale.h"

namespace {

constexpr int32_t kJavaDidNotStartMessage = 20014;

DWORD WINAPI waitForJavaWindow(void* parameter)
{
    HWND window = static_cast<HWND>(parameter);
    const int start = javaWaitStart();
    int position = start;
    const bool noTimeLimit = configInt(config_entry::kNoJavaWindowTimeLimit) != 0;
    // The progress window itself is the first visible window.
    for (int ticks = 1; countVisibleProcessWindows(GetCurrentProcessId()) < 2; ++ticks) {
        const DWORD marker = readInstallStartedMarker(true);
        if (marker == 2)
            break;
        const int next = javaWaitPosition(position, start, ticks);
        if (next != position) {
            position = next;
            setProgressPosition(window, position);
        }
        if (javaWaitTimesOut(ticks, marker, noTimeLimit)) {
            logLine(L"timeout");
            fatalMessage(kJavaDidNotStartMessage);
        }
        Sleep(kJavaWaitPollMs);
    }
    setInstallStartedMarkers(false, true, false);
    logLine(L"Java window visible");
    ShowWindow(window, SW_HIDE);
    return 0;
}

} // namespace

void startJavaWindowWait(HWND window)
{
    unique_handle thread(CreateThread(nullptr, 0, waitForJavaWindow, window, 0, nullptr));
    if (thread)
        SetThreadPriority(thread.get(), THREAD_PRIORITY_ABOVE_NORMAL);
}
