#include "launchcore/windows/temp_directory.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include "launchcore/path_text.h"
#include "launchcore/windows/diagnostic_log.h"
#include "launchcore/windows/error_display.h"
#include "launchcore/windows/process_paths.h"
#include "launchcore/windows/system_text.h"
#include "launchcore/windows/text_conversion.h"
#include "launchcore/windows/wide_format.h"

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

std::wstring windowsDirectory()
{
    return fillGrowing<wchar_t>([](wchar_t* buffer, DWORD size) { return GetWindowsDirectoryW(buffer, size); }).value_or(std::wstring());
}

// The runtime library's rand() keeps its state per thread, and reseeding on every call
// repeats the same number within a second. One generator for the process, seeded once with
// the same formula and stepping like the runtime library's, keeps the first number as before
// while later calls differ.
class ProcessRandom {
public:
    int next()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!seeded_) {
            state_ = static_cast<unsigned>(GetCurrentProcessId()) * static_cast<unsigned>(std::time(nullptr));
            seeded_ = true;
        }
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7fff);
    }

private:
    std::mutex mutex_;
    unsigned state_ = 0;
    bool seeded_ = false;
};

int nextRandom()
{
    static ProcessRandom random;
    return random.next();
}

bool probeWritable(const std::wstring& directory)
{
    const std::wstring probe = formatWide(L"%s\\vxntw%d%d", directory.c_str(), static_cast<int>(GetCurrentProcessId()),
                                          nextRandom());
    RemoveDirectoryW(probe.c_str());
    if (!CreateDirectoryW(probe.c_str(), nullptr))
        return false;
    const bool existed = pathExists(probe);
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

std::string extractionDirectoryStorage;

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
    if (s.ansi.empty())
        fatalMessage(1015);
    return s.ansi;
}

const std::wstring& temporaryDirectoryWide(bool fatalWhenNone)
{
    const TemporaryState& s = state();
    if (s.manual)
        return s.manualWide;
    ensureSearched();
    if (s.wide.empty() && fatalWhenNone)
        fatalMessage(1015);
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

std::string tempFileName()
{
    const std::string directory = temporaryDirectoryAnsi();
    logLine(L"tempPath is %S", directory.c_str());
    // GetTempFileNameA writes at most MAX_PATH bytes. For a directory too long for that,
    // Wine answers success with a cut name that names no file, so the answer only counts
    // when the file it reserved is really there.
    char buffer[MAX_PATH + 1] = {};
    std::string name;
    const UINT unique = GetTempFileNameA(directory.c_str(), "vxn", 0, buffer);
    const DWORD error = GetLastError();
    if (unique != 0 && std::strlen(buffer) < MAX_PATH - 1 && GetFileAttributesA(buffer) != INVALID_FILE_ATTRIBUTES) {
        name = buffer;
    } else {
        const DWORD reported = unique != 0 ? ERROR_BUFFER_OVERFLOW : error;
        logLine(L"GetTempFileName failed (last error %d)", static_cast<int>(reported));
        name = withTrailingSeparator(directory) + "vxn" + std::to_string(nextRandom());
    }
    logLine(L"tempFile is %S", name.c_str());
    return name;
}

std::string& extractionDirectory() { return extractionDirectoryStorage; }

void createExtractionDirectory()
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        const std::string name = tempFileName();
        extractionDirectoryStorage = name + "_dir" + std::to_string(static_cast<int>(std::time(nullptr)));
        logLine(L"Temp dir3: %S", extractionDirectoryStorage.c_str());
        if (CreateDirectoryA(extractionDirectoryStorage.c_str(), nullptr))
            return;
        logLine(L"Could not create dir (%d)", static_cast<int>(GetLastError()));
    }
    extractionDirectoryStorage.clear();
    fatalMessage(1009, "7");
}
