#include "launchcore/windows/process_paths.h"

#include <algorithm>
#include <vector>

#include "launchcore/path_text.h"
#include "launchcore/windows/diagnostic_log.h"
#include "launchcore/windows/handles.h"
#include "launchcore/windows/shell_short_name.h"
#include "launchcore/windows/text_conversion.h"

namespace {

// Paths longer than this are not supported; the buffers still grow up to it, so a long but
// legal path is never cut or read from an untouched buffer.
constexpr DWORD kMaxPathUnits = 32768;

// Calls fill(buffer, size) until the answer fits: 0 is a failure, an answer at or above the
// size is the size needed (or a truncation) and means "grow and retry".
template <typename Char, typename Fill>
bool fillGrowing(std::basic_string<Char>& out, Fill fill, DWORD initial = MAX_PATH)
{
    std::vector<Char> buffer(initial);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD result = fill(buffer.data(), size);
        if (result == 0)
            return false;
        if (result < size) {
            out.assign(buffer.data(), result);
            return true;
        }
        if (size >= kMaxPathUnits)
            return false;
        buffer.resize(std::min<DWORD>(kMaxPathUnits, std::max<DWORD>(result + 1, size * 2)));
    }
}

std::wstring collapse(const std::wstring& path) { return toWide(collapseBackslashes(toU16(path))); }

std::wstring fullPathNameW(const std::wstring& path)
{
    std::wstring result;
    if (!fillGrowing<wchar_t>(result, [&](wchar_t* buffer, DWORD size) {
            return GetFullPathNameW(path.c_str(), size, buffer, nullptr);
        }))
        return {};
    return result;
}

std::string fullPathNameA(const std::string& path)
{
    std::string result;
    if (!fillGrowing<char>(result, [&](char* buffer, DWORD size) {
            return GetFullPathNameA(path.c_str(), size, buffer, nullptr);
        }))
        return {};
    return result;
}

std::wstring shortPathNameW(const std::wstring& path)
{
    std::wstring result;
    fillGrowing<wchar_t>(result, [&](wchar_t* buffer, DWORD size) {
        return GetShortPathNameW(path.c_str(), buffer, size);
    });
    return result;
}

std::string shortPathNameA(const std::string& path)
{
    std::string result;
    fillGrowing<char>(result, [&](char* buffer, DWORD size) { return GetShortPathNameA(path.c_str(), buffer, size); });
    return result;
}

struct ModuleNames {
    std::wstring raw;
    std::wstring longName;
    DWORD longResult = 0;
    DWORD longError = 0;
};

// GetModuleFileName reports truncation by returning the full buffer size, never the size
// it needs, so only doubling helps.
ModuleNames& moduleNames()
{
    static ModuleNames names = [] {
        ModuleNames n;
        std::vector<wchar_t> buffer(MAX_PATH);
        for (;;) {
            const DWORD size = static_cast<DWORD>(buffer.size());
            const DWORD result = GetModuleFileNameW(nullptr, buffer.data(), size);
            if (result == 0)
                break;
            if (result < size) {
                n.raw.assign(buffer.data(), result);
                break;
            }
            if (size >= kMaxPathUnits)
                break;
            buffer.resize(size * 2);
        }
        std::vector<wchar_t> longBuffer(std::max<size_t>(MAX_PATH, n.raw.size() + 1));
        for (;;) {
            const DWORD size = static_cast<DWORD>(longBuffer.size());
            SetLastError(ERROR_SUCCESS);
            const DWORD result = n.raw.empty() ? 0 : GetLongPathNameW(n.raw.c_str(), longBuffer.data(), size);
            n.longResult = result;
            n.longError = GetLastError();
            if (result == 0) {
                n.longName = n.raw;
                break;
            }
            if (result < size) {
                n.longName.assign(longBuffer.data(), result);
                break;
            }
            if (size >= kMaxPathUnits) {
                n.longName = n.raw;
                break;
            }
            longBuffer.resize(std::min<DWORD>(kMaxPathUnits, result + 1));
        }
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

    const std::wstring shortPath = shortPathNameW(longPath);
    if (!shortPath.empty()) {
        narrow = narrowAnsi(shortPath, &exact);
        if (exact && endsWithExe(narrow))
            return collapseBackslashes(narrow);
    }

    narrow = shortNameFromShell(longPath);
    if (usableShellShortName(narrow))
        return collapseBackslashes(narrow);

    std::string ansiName;
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD result = GetModuleFileNameA(nullptr, buffer.data(), size);
        if (result == 0)
            return {};
        if (result < size) {
            ansiName.assign(buffer.data(), result);
            break;
        }
        if (size >= kMaxPathUnits)
            return {};
        buffer.resize(size * 2);
    }
    const std::string shortName = shortPathNameA(ansiName);
    return collapseBackslashes(shortName.empty() ? ansiName : shortName);
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
    static const std::string directory = cutFileName(fullPathNameA(moduleAnsiPath()));
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
    static const std::wstring directory = cutFileName(fullPathNameW(moduleLongPath()));
    return directory;
}

std::wstring resolvePath(const std::wstring& path, bool useWidenedDirectory, const wchar_t* baseFile)
{
    std::wstring result;
    if (isRelativePath(toU16(path))) {
        if (baseFile)
            result = cutFileName(fullPathNameW(baseFile));
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
        result = baseFile ? cutFileName(fullPathNameA(baseFile)) : launcherDirectoryAnsi();
    result += path;
    return collapseBackslashes(result);
}

std::wstring fullPath(const std::wstring& path, bool useWidenedDirectory, bool keepCase)
{
    std::wstring full = fullPathNameW(resolvePath(path, useWidenedDirectory));
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
    std::string full = fullPathNameA(resolvePath(path));
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
