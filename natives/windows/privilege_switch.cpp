#include "natives/windows/privilege_switch.h"

#include <windows.h>

#include "launchcore/windows/base/handles.h"

bool switchPrivilege(const wchar_t* name, bool enable)
{
    if (!name)
        return false;
    unique_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()))
        return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid))
        return false;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    if (!AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr))
        return false;
    return GetLastError() == ERROR_SUCCESS;
}
