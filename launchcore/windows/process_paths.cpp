#include "launchcore/windows/process_paths.h"

#include <algorithm>
#include <vector>

#include "launchcore/path_text.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/shell_short_name.h"
#include "launchcore/windows/base/system_text.h"
#include "launchcore/windows/base/text_conversion.h"

namespace {

std::wstring collapse(const std::wstring& path) { return toWide(collapseBackslashes(toU16(path))); }

struct ModuleNames {
    std::wstring raw;
    std::wstring longName;
    DWORD longResult = 0;
    DWORD longError = 0;
};

ModuleNames& moduleNames()
{
    static ModuleNames names = [] {
        ModuleNames n;
        n.raw = moduleFileName();
        // The log line of the 8-bit path reports what GetLongPathNameW answered.
        const std::optional<std::wstring> longName = fillGrowing<wchar_t>([&](wchar_t* buffer, DWORD size) {
            SetLastError(ERROR_SUCCESS);
            n.longResult = n.raw.empty() ? 0 : GetLongPathNameW(n.raw.c_str(), buffer, size);
            n.longError = GetLastError();
            return n.longResult;
        });
        n.longName = longName.value_or(n.raw);
        return n;
    }();
    return names;
}

bool fileAttributesFound(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string computeModuleAnsiPath()
{
    const std::wstring& longPath = moduleLongPath();
    bool exact = false;
    std::string narrow = narrowAnsi(longPath, &exact);
    if (exact && endsWithExe(narrow))
        return narrow;

    const std::wstring shortPath = shortPathName(longPath);
    if (!shortPath.empty()) {
        narrow = narrowAnsi(shortPath, &exact);
        if (exact && endsWithExe(narrow))
            return collapseBackslashes(narrow);
    }

    narrow = shortNameFromShell(longPath);
    if (usableShellShortName(narrow))
        return collapseBackslashes(narrow);

    const std::optional<std::string> ansiName =
        fillGrowing<char>([](char* buffer, DWORD size) { return GetModuleFileNameA(nullptr, buffer, size); });
    if (!ansiName)
        return {};
    const std::string shortName = shortPathName(*ansiName);
    return collapseBackslashes(shortName.empty() ? *ansiName : shortName);
}

std::wstring lowerAsciiW(std::wstring text)
{
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

template <typename Char>
std::basic_string<Char> cutFileName(const std::basic_string<Char>& fullPath)
{
    const size_t cut = fullPath.find_last_of(static_cast<Char>('\\'));
    if (cut == std::basic_string<Char>::npos)
        return {};
    return fullPath.substr(0, cut + 1);
}

bool findFirstW(const std::wstring& path, WIN32_FIND_DATAW* found)
{
    WIN32_FIND_DATAW data;
    unique_find find(FindFirstFileW(path.c_str(), &data));
    if (!find)
        return false;
    if (found)
        *found = data;
    return true;
}

bool findFirstA(const std::string& path, WIN32_FIND_DATAA* found)
{
    WIN32_FIND_DATAA data;
    unique_find find(FindFirstFileA(path.c_str(), &data));
    if (!find)
        return false;
    if (found)
        *found = data;
    return true;
}

} // namespace

bool usableShellShortName(const std::string& name)
{
    // With 8.3 names switched off the command processor prints the long name in the OEM
    // code page with "?" for what it cannot show; such a text names no file.
    return endsWithExe(name) && !hasWildcard(name) && fileAttributesFound(name);
}

const std::wstring& moduleLongPath()
{
    static const std::wstring path = collapse(moduleNames().longName);
    return path;
}

const std::string& moduleAnsiPath()
{
    // Cached before the log line, so a log that asks for the path while it sets itself up
    // finds it instead of re-entering the computation.
    static std::string path;
    static bool computed = false;
    if (!computed) {
        path = computeModuleAnsiPath();
        computed = true;
        const ModuleNames& names = moduleNames();
        logLine(L"init file name %s %s %d %d", names.raw.c_str(), names.longName.c_str(),
                static_cast<int>(names.longResult), static_cast<int>(names.longError));
    }
    return path;
}

const std::string& launcherDirectoryAnsi()
{
    static const std::string directory = cutFileName(fullPathName(moduleAnsiPath()));
    return directory;
}

const std::wstring& launcherDirectoryWidened()
{
    // Widened through the file-API code page, so narrowing it again gives back the same
    // bytes on every code page (a byte-wise widening would turn "C:\Прог\" into "C:\????\").
    static const std::wstring directory = widenAnsi(launcherDirectoryAnsi());
    return directory;
}

const std::wstring& launcherDirectoryWide()
{
    static const std::wstring directory = cutFileName(fullPathName(moduleLongPath()));
    return directory;
}

std::wstring resolvePath(const std::wstring& path, bool useWidenedDirectory, const wchar_t* baseFile)
{
    std::wstring result;
    if (isRelativePath(toU16(path))) {
        if (baseFile)
            result = cutFileName(fullPathName(baseFile));
        else
            result = useWidenedDirectory ? launcherDirectoryWidened() : launcherDirectoryWide();
    }
    result += path;
    return collapse(result);
}

std::string resolvePath(const std::string& path, const char* baseFile)
{
    std::string result;
    if (isRelativePath(path))
        result = baseFile ? cutFileName(fullPathName(baseFile)) : launcherDirectoryAnsi();
    result += path;
    return collapseBackslashes(result);
}

std::wstring fullPath(const std::wstring& path, bool useWidenedDirectory, bool keepCase)
{
    std::wstring full = fullPathName(resolvePath(path, useWidenedDirectory));
    if (full.empty()) {
        logError(L"could not get the full path of %s", path.c_str());
        return {};
    }
    if (!keepCase)
        full = lowerAsciiW(std::move(full));
    return collapse(full);
}

std::string fullPath(const std::string& path, bool keepCase)
{
    std::string full = fullPathName(resolvePath(path));
    if (full.empty()) {
        logError(L"could not get the full path of %S", path.c_str());
        return {};
    }
    if (!keepCase) {
        // Lower-cased as UTF-16 so that the trail bytes of a DBCS character, which may lie
        // in 'A'..'Z', are never touched; kept as it is when the round trip is not exact.
        bool exact = false;
        std::string lowered = narrowAnsi(lowerAsciiW(widenAnsi(full)), &exact);
        if (exact)
            full = std::move(lowered);
    }
    return collapseBackslashes(full);
}

bool pathExists(const std::wstring& path)
{
    const std::u16string text = toU16(path);
    if (isDriveRootPath(text))
        return true;
    // FindFirstFile treats these as wildcards and fails on a trailing backslash.
    if (path.empty() || hasWildcard(text))
        return false;
    return findFirstW(toWide(withoutTrailingBackslash(text)), nullptr);
}

bool pathExists(const std::string& path)
{
    if (isDriveRootPath(path))
        return true;
    if (path.empty() || hasWildcard(path))
        return false;
    return findFirstA(withoutTrailingBackslash(path), nullptr);
}

bool pathExists(const std::string& path, FILETIME& lastWrite)
{
    if (isDriveRootPath(path)) {
        lastWrite = FILETIME{};
        return true;
    }
    if (path.empty() || hasWildcard(path))
        return false;
    WIN32_FIND_DATAA data;
    if (!findFirstA(withoutTrailingBackslash(path), &data))
        return false;
    lastWrite = data.ftLastWriteTime;
    return true;
}
