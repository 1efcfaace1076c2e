// A service that reports RUNNING, and STOPPED as soon as the stop control arrives: what the
// service manager itself costs for a stop, measured beside the launcher's. It ends by itself
// after five minutes, so a benchmark that dies leaves no process behind for long.
#include <windows.h>

namespace {

SERVICE_STATUS_HANDLE g_status = nullptr;
HANDLE g_stopped = nullptr;

void report(DWORD state)
{
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    SetServiceStatus(g_status, &status);
}

DWORD WINAPI handler(DWORD control, DWORD, void*, void*)
{
    if (control == SERVICE_CONTROL_STOP)
        SetEvent(g_stopped);
    return NO_ERROR;
}

void WINAPI serviceMain(DWORD, wchar_t**)
{
    g_status = RegisterServiceCtrlHandlerExW(L"", handler, nullptr);
    if (!g_status)
        return;
    report(SERVICE_RUNNING);
    WaitForSingleObject(g_stopped, 5 * 60 * 1000);
    report(SERVICE_STOPPED);
}

} // namespace

int wmain()
{
    g_stopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    wchar_t name[] = L"";
    const SERVICE_TABLE_ENTRYW table[] = {{name, serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
