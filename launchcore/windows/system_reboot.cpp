#include "launchcore/windows/system_reboot.h"

#include <windows.h>

#include "launchcore/windows/base/handles.h"

void rebootAfterDelay()
{
    Sleep(5000);
    unique_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()))
        return;
    TOKEN_PRIVILEGES privileges{};
    if (!LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
        return;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    // AdjustTokenPrivileges succeeds even when the privilege was not granted; only the
    // error code tells (ERROR_NOT_ALL_ASSIGNED).
    if (GetLastError() != ERROR_SUCCESS)
        return;
    ExitWindowsEx(EWX_REBOOT, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION |
                                  SHTDN_REASON_FLAG_PLANNED);
}
