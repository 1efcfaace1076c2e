#include "natives/windows/dll_preload.h"

#include <windows.h>

#include <mutex>
#include <optional>

#include "launchcore/windows/base/system_text.h"

std::vector<std::wstring> preloadedLibraryPaths()
{
    const std::optional<std::wstring> directory =
        fillGrowing<wchar_t>([](wchar_t* buffer, DWORD size) { return GetSystemDirectoryW(buffer, size); });
    if (!directory || directory->empty())
        return {};
    std::vector<std::wstring> paths;
    for (const wchar_t* name : {L"davhlpr.dll", L"fwbase.dll"})
        paths.push_back(*directory + L"\\" + name);
    return paths;
}

void preloadSystemLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Kept loaded for the life of the process.
        for (const std::wstring& path : preloadedLibraryPaths())
            LoadLibraryW(path.c_str());
    });
}
