#include "natives/windows/process_listing.h"

#include <windows.h>

#include <tlhelp32.h>

#include <cwchar>
#include <optional>

#include "launchcore/windows/base/console_output.h"
#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/base/late_binding.h"
#include "launchcore/windows/base/system_text.h"
#include "launchcore/windows/base/text_conversion.h"

namespace {

using EnumProcessesFunction = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using ModuleFileNameFunction = DWORD(WINAPI*)(HANDLE, HMODULE, wchar_t*, DWORD);
using ImageNameFunction = BOOL(WINAPI*)(HANDLE, DWORD, wchar_t*, DWORD*);
using SnapshotFunction = HANDLE(WINAPI*)(DWORD, DWORD);
using ProcessWalkFunction = BOOL(WINAPI*)(HANDLE, tagPROCESSENTRY32*);
using FirstModuleFunction = BOOL(WINAPI*)(HANDLE, tagMODULEENTRY32W*);

constexpr DWORD kProcessIdBytes = 0x8010;

std::optional<std::wstring> imageName(ImageNameFunction query, HANDLE process)
{
    return fillGrowing<wchar_t>([&](wchar_t* buffer, DWORD size) -> DWORD {
        DWORD length = size;
        if (query(process, 0, buffer, &length))
            return length;
        return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? size : 0;
    });
}

std::optional<std::wstring> firstModuleName(ModuleFileNameFunction query, HANDLE process)
{
    return fillGrowing<wchar_t>([&](wchar_t* buffer, DWORD size) -> DWORD {
        // A cut name comes back as size - 1 characters: take that as too small.
        const DWORD length = query(process, nullptr, buffer, size);
        return length + 1 >= size ? size : length;
    });
}

std::optional<std::u16string> entry(DWORD processId, const std::optional<std::wstring>& path)
{
    if (!path)
        return std::nullopt;
    std::u16string text = toU16(std::to_wstring(processId) + L" " + *path);
    if (text.size() > kProcessEntryLimit)
        return std::nullopt;
    return text;
}

bool endsWithTmp(const std::wstring& path) { return path.size() >= 4 && path.compare(path.size() - 4, 4, L".tmp") == 0; }

} // namespace

std::vector<std::u16string> processesByStatusFunctions()
{
    std::vector<std::u16string> entries;
    const auto enumerate = lateBound<EnumProcessesFunction>(L"psapi.dll", "EnumProcesses");
    const auto moduleName = lateBound<ModuleFileNameFunction>(L"psapi.dll", "GetModuleFileNameExW");
    const auto image = lateBound<ImageNameFunction>(L"kernel32.dll", "QueryFullProcessImageNameW");
    if (!enumerate || (!moduleName && !image))
        return entries;
    std::vector<DWORD> ids(kProcessIdBytes / sizeof(DWORD));
    DWORD bytes = 0;
    if (!enumerate(ids.data(), kProcessIdBytes, &bytes))
        return entries;
    ids.resize(bytes / sizeof(DWORD));
    for (const DWORD id : ids) {
        if (id == 0)
            continue;
        unique_handle process(OpenProcess(image ? PROCESS_QUERY_INFORMATION : PROCESS_QUERY_INFORMATION | PROCESS_VM_READ,
                                          FALSE, id));
        if (!process)
            continue;
        std::optional<std::wstring> path = image ? imageName(image, process.get()) : firstModuleName(moduleName, process.get());
        // A program started from a ".tmp" copy is named by the module it runs, which the
        // image name does not show in every case.
        if (image && path && endsWithTmp(*path) && moduleName) {
            process.reset(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
            if (process)
                path = firstModuleName(moduleName, process.get());
        }
        if (std::optional<std::u16string> text = entry(id, path))
            entries.push_back(std::move(*text));
    }
    return entries;
}

std::vector<std::u16string> processesBySnapshot()
{
    std::vector<std::u16string> entries;
    HMODULE kernel = systemLibrary(L"kernel32.dll");
    const auto snapshot = lateBound<SnapshotFunction>(L"kernel32.dll", "CreateToolhelp32Snapshot");
    const auto first = lateBound<ProcessWalkFunction>(L"kernel32.dll", "Process32First");
    const auto next = lateBound<ProcessWalkFunction>(L"kernel32.dll", "Process32Next");
    const auto firstModule = lateBound<FirstModuleFunction>(L"kernel32.dll", "Module32FirstW");
    if (!snapshot || !first || !next) {
        printConsole("could not load functions %p %p %p %p %p %d\n", reinterpret_cast<void*>(snapshot),
                     reinterpret_cast<void*>(first), reinterpret_cast<void*>(next),
                     reinterpret_cast<void*>(firstModule), static_cast<void*>(kernel), static_cast<int>(GetLastError()));
        return entries;
    }
    unique_file processes(snapshot(TH32CS_SNAPALL, 0));
    if (!processes)
        return entries;
    tagPROCESSENTRY32 process{};
    process.dwSize = sizeof process;
    for (BOOL more = first(processes.get(), &process); more && firstModule; more = next(processes.get(), &process)) {
        if (process.th32ProcessID == 0)
            continue;
        unique_file modules(snapshot(TH32CS_SNAPMODULE, process.th32ProcessID));
        if (!modules)
            continue;
        tagMODULEENTRY32W module{};
        module.dwSize = sizeof module;
        if (!firstModule(modules.get(), &module))
            continue;
        if (std::optional<std::u16string> text = entry(process.th32ProcessID, std::wstring(module.szExePath, wcsnlen(module.szExePath, MAX_PATH))))
            entries.push_back(std::move(*text));
    }
    return entries;
}
