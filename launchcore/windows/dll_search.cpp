#include "launchcore/windows/dll_search.h"

#include <windows.h>

#include <vector>

#include "launchcore/configuration_entries.h"
#include "launchcore/configuration.h"
#include "launchcore/windows/base/environment.h"
#include "launchcore/windows/base/late_binding.h"
#include "launchcore/windows/base/system_text.h"
#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/path_list.h"
#include "launchcore/windows/state/launcher_state.h"
#include "launchcore/windows/variable_expansion.h"

namespace {

using AddDllDirectoryFn = DLL_DIRECTORY_COOKIE(WINAPI*)(PCWSTR);
using RemoveDllDirectoryFn = BOOL(WINAPI*)(DLL_DIRECTORY_COOKIE);
using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

// Late-bound: these exist only on systems with the DLL-directory update.
template <typename Fn>
Fn kernel32Function(const char* name)
{
    return lateBound<Fn>(L"kernel32.dll", name);
}

} // namespace

void addNativeLibraryDirectories()
{
    std::vector<char> entry(6000);
    configString(config_entry::kNativeLibraryDirectory, entry.data(), entry.size());
    std::string list(entry.data());
    logLine(L"native lib dir is %S", list.c_str());
    expandLauncherVariables(list);

    std::string path = pathList(list, [](const std::string& directory) {
        if (!directory.empty())
            addDllDirectory(directory);
    });
    if (!path.empty() && path.back() != ';')
        path += ';';
    path += environmentVariable("PATH").value_or(std::string());

    // A value beyond the system limit is refused by Windows; the failure is logged and the
    // launch goes on with the old PATH.
    if (setPathVariable(path)) {
        logLine(L"Setting PATH (native libs) %S", path.c_str());
    } else {
        logLine(L"Setting PATH (native libs) %S failed with error %d", path.c_str(), static_cast<int>(GetLastError()));
    }
}

void* addDllDirectory(const std::string& directory)
{
    // The installer always adds them; a service only when its configuration says so.
    if (launcherProgram() == LauncherProgram::Service && configInt(config_entry::kAddDllDirectories) == 0)
        return nullptr;
    const auto add = kernel32Function<AddDllDirectoryFn>("AddDllDirectory");
    if (!add)
        return nullptr;
    const std::wstring wide = widenAnsi(directory);
    logLine(L"Adding DLL directory %s", wide.c_str());
    return add(wide.c_str());
}

void removeDllDirectory(void* cookie)
{
    if (!cookie)
        return;
    const auto remove = kernel32Function<RemoveDllDirectoryFn>("RemoveDllDirectory");
    if (!remove)
        return;
    logLine(L"Removing DLL directory");
    remove(cookie);
}

void restrictDllSearch()
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const BOOL known = GetVersionExA(&version);
#pragma GCC diagnostic pop
    // Left alone on Windows 6.0, where the restricted search is unreliable even with the
    // update that adds it.
    if (known && version.dwMajorVersion == 6 && version.dwMinorVersion == 0)
        return;
    const auto setDefault = kernel32Function<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories");
    if (!setDefault)
        return;
    setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS);
    logLine(L"restrict DLL directories");
}
