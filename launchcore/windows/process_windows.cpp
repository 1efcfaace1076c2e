#include "launchcore/windows/process_windows.h"

#include <string>
#include <vector>

#include "launchcore/configuration.h"
#include "launchcore/configuration_entries.h"
#include "launchcore/windows/base/wide_format.h"
#include "launchcore/windows/log/diagnostic_log.h"

namespace {

// Long enough for the console host to retitle its window before FindWindow looks.
constexpr DWORD kConsoleTitleDelayMs = 40;

bool g_consoleSearched = false;
HWND g_consoleWindow = nullptr;

DWORD windowProcess(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

struct RaiseRequest {
    DWORD pid;
    bool restore;
};

BOOL CALLBACK raiseWindow(HWND window, LPARAM parameter)
{
    const auto* request = reinterpret_cast<const RaiseRequest*>(parameter);
    if (!IsWindowVisible(window) || windowProcess(window) != request->pid)
        return TRUE;
    logLine(L"found window %p", window);
    if (request->restore && IsIconic(window)) {
        logLine(L"restore");
        ShowWindow(window, SW_RESTORE);
    }
    logLine(L"foreground");
    SetForegroundWindow(window);
    logLine(L"popup");
    SetForegroundWindow(GetLastActivePopup(window));
    logLine(L"done");
    return TRUE;
}

struct CountRequest {
    DWORD pid;
    HWND excluded;
    int count;
};

BOOL CALLBACK countWindow(HWND window, LPARAM parameter)
{
    auto* request = reinterpret_cast<CountRequest*>(parameter);
    if (IsWindowVisible(window) && windowProcess(window) == request->pid && window != request->excluded)
        ++request->count;
    return TRUE;
}

// Empty when the process has no console or the console has no title.
std::string consoleTitle()
{
    std::vector<char> buffer(1024);
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetConsoleTitleA(buffer.data(), static_cast<DWORD>(buffer.size()));
        const bool tooSmall = (length == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) ||
                              length >= buffer.size() - 1;
        if (!tooSmall)
            return std::string(buffer.data(), length);
        // Console titles are limited to 64 KiB.
        if (buffer.size() >= 65536)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

// The console window is found through a unique title because the window a console host
// shows need not be the one GetConsoleWindow names.
HWND findOwnConsoleWindow()
{
    if (configInt(config_entry::kApplicationKind) == 1)
        return nullptr;
    const std::string saved = consoleTitle();
    if (saved.empty())
        return nullptr;
    const std::string unique =
        formatNarrow("%d/%d", static_cast<int>(GetTickCount()), static_cast<int>(GetCurrentProcessId()));
    SetConsoleTitleA(unique.c_str());
    Sleep(kConsoleTitleDelayMs);
    HWND window = FindWindowA(nullptr, unique.c_str());
    SetConsoleTitleA(saved.c_str());
    return window;
}

} // namespace

void bringProcessWindowsToFront(DWORD pid, bool restore)
{
    RaiseRequest request{pid, restore};
    EnumWindows(raiseWindow, reinterpret_cast<LPARAM>(&request));
}

int countVisibleProcessWindows(DWORD pid)
{
    if (!g_consoleSearched) {
        g_consoleSearched = true;
        g_consoleWindow = findOwnConsoleWindow();
    }
    CountRequest request{pid, g_consoleWindow, 0};
    EnumWindows(countWindow, reinterpret_cast<LPARAM>(&request));
    return request.count;
}
