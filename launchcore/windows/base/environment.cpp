#include "launchcore/windows/base/environment.h"

#include <windows.h>

#include <cstdlib>

bool setPathVariable(const std::optional<std::string>& value)
{
    if (!SetEnvironmentVariableA("PATH", value ? value->c_str() : nullptr))
        return false;
    const DWORD error = GetLastError();
    // "PATH=" with nothing behind it removes the runtime library's entry.
    const std::string assignment = "PATH=" + value.value_or(std::string());
    _putenv(assignment.c_str());
    SetLastError(error);
    return true;
}
