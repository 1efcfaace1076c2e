#include "launchcore/windows/log/temporary_directory.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "launchcore/path_text.h"
#include "launchcore/windows/base/random_numbers.h"
#include "launchcore/windows/base/system_text.h"
#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/base/wide_format.h"

namespace {

// An empty value counts as unset: it would turn the candidate into a relative path.
bool nonEmptyVariable(const wchar_t* name, std::wstring& value)
{
    value = environmentVariable(name).value_or(std::wstring());
    return !value.empty();
}

std::wstring tempPath()
{
    return fillGrowing<wchar_t>([](wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); }).value_or(std::wstring());
}

bool probeWritable(const std::wstring& directory)
{
    const std::wstring probe = formatWide(L"%s\\vxntw%d%d", directory.c_str(), static_cast<int>(GetCurrentProcessId()),
                                          nextRandom());
    RemoveDirectoryW(probe.c_str());
    if (!CreateDirectoryW(probe.c_str(), nullptr))
        return false;
    const bool existed = GetFileAttributesW(probe.c_str()) != INVALID_FILE_ATTRIBUTES;
    RemoveDirectoryW(probe.c_str());
    return existed;
}

// The 8-bit form of a directory: its exact conversion, else the conversion of its short form.
std::string ansiFormOf(const std::wstring& directory)
{
    bool exact = false;
    std::string ansi = narrowAnsi(directory, &exact);
    if (exact)
        return ansi;
    const std::wstring shortForm = shortPathName(directory);
    if (shortForm.empty())
        return ansi;
    return narrowAnsi(shortForm);
}

struct Candidate {
    bool available;
    std::wstring path;
    bool create;
    bool ansiCheck;
};

Candidate environmentCandidate(const wchar_t* name, const wchar_t* suffix, bool create, bool ansiCheck)
{
    std::wstring value;
    if (!nonEmptyVariable(name, value))
        return {false, {}, create, ansiCheck};
    return {true, value + suffix, create, ansiCheck};
}

Candidate homeCandidate(bool create, bool ansiCheck)
{
    std::wstring drive;
    std::wstring path;
    if (!nonEmptyVariable(L"HOMEDRIVE", drive) || !nonEmptyVariable(L"HOMEPATH", path))
        return {false, {}, create, ansiCheck};
    return {true, drive + path, create, ansiCheck};
}

struct TemporaryState {
    bool searched = false;
    bool fallbackUsed = false;
    std::wstring wide;
    std::string ansi;
    bool manual = false;
    std::wstring manualWide;
    std::string manualAnsi;
};

TemporaryState& state()
{
    static TemporaryState s;
    return s;
}

// One search feeds both forms, so the log and the extraction directory never end up in
// different places.
void ensureSearched()
{
    TemporaryState& s = state();
    if (s.searched)
        return;
    bool fallback = false;
    std::wstring found = searchTemporaryDirectory(fallback);
    s.fallbackUsed = fallback;
    s.ansi = found.empty() ? std::string() : ansiFormOf(found);
    s.wide = std::move(found);
    s.searched = true;
}

} // namespace

bool isUsableDirectory(const std::wstring& directory, bool create, bool ansiCheck)
{
    if (directory.empty())
        return false;
    if (create)
        CreateDirectoryW(directory.c_str(), nullptr);
    if (ansiCheck) {
        std::wstring longForm = longPathName(directory);
        if (longForm.empty())
            longForm = directory;
        bool exact = false;
        const std::string ansi = narrowAnsi(longForm, &exact);
        if (!exact || ansi.find('?') != std::string::npos)
            return false;
    }
    return probeWritable(directory);
}

std::wstring searchTemporaryDirectory(bool& fallbackUsed)
{
    // Never logs: the log asks for this directory while it sets itself up. The shared
    // fallbacks (Windows\temp, c:\temp, c:\tmp) exist for broken profiles.
    fallbackUsed = false;
    const std::wstring windows = windowsDirectory();
    const std::wstring system = tempPath();
    const Candidate firstPass[] = {
        {!system.empty(), system, true, true},
        environmentCandidate(L"USERPROFILE", L"\\AppData\\Local\\Temp", false, true),
        homeCandidate(false, true),
        {!windows.empty(), windows + L"\\temp", false, false},
        {true, L"c:\\temp", false, false},
        {true, L"c:\\tmp", false, false},
        {!windows.empty(), windows, false, false},
        {true, L"c:\\tmp", true, false},
    };
    for (const Candidate& c : firstPass)
        if (c.available && isUsableDirectory(c.path, c.create, c.ansiCheck))
            return c.path;

    fallbackUsed = true;
    const Candidate secondPass[] = {
        {!system.empty(), system, true, false},
        environmentCandidate(L"USERPROFILE", L"\\AppData\\Local\\Temp", false, false),
        homeCandidate(false, false),
    };
    for (const Candidate& c : secondPass)
        if (c.available && isUsableDirectory(c.path, c.create, c.ansiCheck))
            return c.path;
    return {};
}

const std::string& temporaryDirectoryAnsi()
{
    const TemporaryState& s = state();
    if (s.manual)
        return s.manualAnsi;
    ensureSearched();
    return s.ansi;
}

const std::wstring& temporaryDirectoryWide()
{
    const TemporaryState& s = state();
    if (s.manual)
        return s.manualWide;
    ensureSearched();
    return s.wide;
}

bool temporaryDirectoryFallbackUsed()
{
    // A manual directory replaces the search; running it now would only create c:\tmp.
    if (state().manual)
        return state().fallbackUsed;
    ensureSearched();
    return state().fallbackUsed;
}

bool setManualTemporaryDirectory(const std::wstring& directory, std::string* ansiForm)
{
    const std::string ansi = ansiFormOf(directory);
    if (ansiForm)
        *ansiForm = ansi;
    if (!isUsableDirectory(directory, false, true))
        return false;
    if (ansi.empty() || !isUsableDirectory(widenAnsi(ansi), false, true))
        return false;
    TemporaryState& s = state();
    s.manual = true;
    s.manualWide = directory;
    s.manualAnsi = ansi;
    return true;
}
