#include "launchcore/windows/payload.h"

#include <string_view>
#include <vector>

#include "launchcore/appended_data_format.h"
#include "launchcore/configuration.h"
#include "launchcore/payload_names.h"
#include "launchcore/windows/appended_data.h"
#include "launchcore/windows/diagnostic_log.h"
#include "launchcore/windows/error_display.h"
#include "launchcore/windows/handles.h"
#include "launchcore/windows/process_paths.h"
#include "launchcore/windows/temp_directory.h"
#include "launchcore/windows/text_conversion.h"

namespace {

int64_t g_unextractedPosition = 0;

[[noreturn]] void failedLengthRead(DWORD systemError)
{
    logLine(L"error %d\n", static_cast<int>(systemError));
    fatalError(widenBytesW(fatalText(AppendedDataFailure::ReadLong)));
}

int64_t readEntryLength(HANDLE launcher)
{
    unsigned char bytes[8];
    DWORD got = 0;
    if (!ReadFile(launcher, bytes, sizeof bytes, &got, nullptr))
        failedLengthRead(GetLastError());
    if (got != sizeof bytes)
        failedLengthRead(0);
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return static_cast<int64_t>(value);
}

unique_file openLauncherOrDie()
{
    HANDLE opened = openLauncherFile();
    const DWORD error = GetLastError();
    if (opened == nullptr || opened == INVALID_HANDLE_VALUE) {
        logError(L"Could not open %p %d %s", opened, static_cast<int>(error), moduleLongPath().c_str());
        fatalError(L"Error opening media file.");
    }
    return unique_file(opened);
}

void createNameDirectories(const std::string& base, std::string_view name)
{
    for (const std::string& prefix : payloadDirectoryPrefixes(name)) {
        const std::string directory = base + "\\" + prefix;
        logLine(L"creating directory %S", directory.c_str());
        if (!CreateDirectoryA(directory.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            logError(L"failed to create directory %S", directory.c_str());
    }
}

} // namespace

int extractPayload(bool createDirectory)
{
    logLine(L"extracting files");
    const int32_t count = configInt(2002);
    logLine(L"Included files: %d", static_cast<int>(count));
    if (count <= 0) {
        if (createDirectory)
            extractionDirectory().clear();
        return 0;
    }

    const std::vector<std::string> names = payloadFileNames(configValue(2003), count);
    // The names come from the executable's own data, which a checksum does not protect:
    // every one is checked before the first directory or file exists.
    for (const std::string& name : names) {
        if (!isSafePayloadName(name)) {
            logError(L"unsafe payload name %S", name.c_str());
            return 1;
        }
    }

    if (createDirectory)
        createExtractionDirectory();
    // Without a directory the targets would be "\name", at the root of the current drive.
    if (extractionDirectory().empty()) {
        logError(L"no extraction directory for the included files");
        return 1;
    }

    unique_file launcher = openLauncherOrDie();
    LARGE_INTEGER start;
    start.QuadPart = payloadStartPosition();
    if (!SetFilePointerEx(launcher.get(), start, nullptr, FILE_BEGIN)) {
        logError(L"could not seek to the included files %I64d (%d)", start.QuadPart,
                 static_cast<int>(GetLastError()));
        return 1;
    }

    const std::string base = extractionDirectory();
    for (const std::string& name : names) {
        createNameDirectories(base, name);
        const std::string target = base + "\\" + name;
        const int result = extractPayloadFile(launcher.get(), target);
        if (result != 0) {
            logError(L"Failed to extract %S", target.c_str());
            return result;
        }
    }

    // Entries can be larger than 2 GiB, so the position the Java side continues from is 64-bit.
    LARGE_INTEGER zero{};
    LARGE_INTEGER position{};
    if (!SetFilePointerEx(launcher.get(), zero, &position, FILE_CURRENT)) {
        logError(L"could not read the file position (%d)", static_cast<int>(GetLastError()));
        return 1;
    }
    g_unextractedPosition = position.QuadPart;
    launcher.reset();
    logLine(L"extracting files done");
    return 0;
}

int extractPayloadFile(HANDLE launcher, const std::string& targetPath)
{
    const int64_t length = readEntryLength(launcher);
    logLine(L"extracting %S (size: %I64d)", targetPath.c_str(), length);
    if (length <= 0)
        return 0;

    unique_file target(CreateFileA(targetPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!target)
        fatalMessage(1009, "11");
    // The target is opened without sharing: it must be closed before an error exit, or the
    // clean-up cannot delete it and the extraction directory stays behind.
    return copyUnscrambled(launcher, target.get(), length, true);
}

void emptyDirectory(const std::string& path, bool alsoSubdirectories)
{
    if (path.empty() || path.front() == '.')
        return;
    logLine(L"emptying %S", path.c_str());
    const std::string prefix = path.back() == '\\' ? path : path + "\\";
    const std::string pattern = prefix + "*.*";

    WIN32_FIND_DATAA entry;
    unique_find search(FindFirstFileA(pattern.c_str(), &entry));
    if (!search)
        return;
    do {
        const std::string_view name = entry.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string full = prefix + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            logLine(L"attempting to remove %S (%d)", full.c_str(), alsoSubdirectories ? 1 : 0);
            // A junction or directory link may point anywhere, also at files the user cannot
            // otherwise delete; RemoveDirectoryA on it removes only the link.
            if (alsoSubdirectories && !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                emptyDirectory(full, false);
            RemoveDirectoryA(full.c_str());
        } else {
            logLine(L"attempting to delete %S", full.c_str());
            DeleteFileA(full.c_str());
        }
    } while (FindNextFileA(search.get(), &entry));
}

int64_t unextractedPosition() { return g_unextractedPosition; }
