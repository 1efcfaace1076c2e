#include "launchcore/windows/system_reboot.h"

#include <atomic>

#include "launchcore/windows/base/handles.h"

namespace {

std::atomic<RestartCall> g_restartCall{&ExitWindowsEx};

bool enableShutdownPrivilege()
{
    unique_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()))
        return false;
    TOKEN_PRIVILEGES privileges{};
    if (!LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid))
        return false;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    SetLastError(ERROR_SUCCESS);
    if (!AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr))
        return false;
    // The call succeeds even when the privilege was not granted; only the error code tells
    // (ERROR_NOT_ALL_ASSIGNED).
    return GetLastError() == ERROR_SUCCESS;
}

} // namespace

RestartCall replaceRestartCall(RestartCall call) { return g_restartCall.exchange(call); }

bool rebootSystem()
{
    if (!enableShutdownPrivilege())
        return false;
    return g_restartCall.load()(EWX_REBOOT, 0) != FALSE;
}

void rebootAfterDelay()
{
    Sleep(5000);
    rebootSystem();
}
