#include "launchcore/windows/base/late_binding.h"

#include <cwchar>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "launchcore/windows/base/system_text.h"

namespace {

struct LoadedLibrary {
    std::wstring name;
    HMODULE module;
};

std::mutex g_librariesLock;
// Never freed: bound pointers are kept by callers for the life of the process.
std::vector<LoadedLibrary> g_libraries;

bool isImportedByEveryLauncher(const wchar_t* name)
{
    return _wcsicmp(name, L"kernel32.dll") == 0 || _wcsicmp(name, L"advapi32.dll") == 0;
}

// Always by the full path: a bare name would be matched against the modules already loaded,
// and a copy planted beside the program may be one of them (loaded by a library's own
// imports before our first line ran).
HMODULE loadFromSystemDirectory(const wchar_t* name)
{
    const std::optional<std::wstring> directory =
        fillGrowing<wchar_t>([](wchar_t* buffer, DWORD size) { return GetSystemDirectoryW(buffer, size); });
    if (!directory)
        return nullptr;
    const std::wstring path = *directory + L"\\" + name;
    if (HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
        return module;
    // Systems without the DLL-directory update refuse the flag; there the library's own
    // imports are looked for beside it, in the system directory, first.
    if (GetLastError() != ERROR_INVALID_PARAMETER)
        return nullptr;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

} // namespace

HMODULE systemLibrary(const wchar_t* name)
{
    if (isImportedByEveryLauncher(name))
        return GetModuleHandleW(name);
    DWORD error = ERROR_SUCCESS;
    HMODULE module = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_librariesLock);
        for (const LoadedLibrary& loaded : g_libraries)
            if (_wcsicmp(loaded.name.c_str(), name) == 0)
                return loaded.module;
        module = loadFromSystemDirectory(name);
        if (module)
            g_libraries.push_back({name, module});
        else
            error = GetLastError();
    }
    if (!module)
        SetLastError(error);
    return module;
}

void* lateBoundAddress(const wchar_t* library, const char* function)
{
    HMODULE module = systemLibrary(library);
    if (!module)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(module, function));
}
