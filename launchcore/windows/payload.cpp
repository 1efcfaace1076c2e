#include "launchcore/windows/payload.h"

#include <string_view>
#include <vector>

#include "launchcore/appended_data_format.h"
#include "launchcore/configuration.h"
#include "launchcore/configuration_entries.h"
#include "launchcore/payload_names.h"
#include "launchcore/windows/appended_data.h"
#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/exit/fatal_exit.h"
#include "launchcore/windows/files/extraction_directory.h"
#include "launchcore/windows/launcher_file.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/state/launcher_state.h"

namespace {

int64_t g_unextractedPosition = 0;

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

void createExtractionDirectoryOrExit()
{
    switch (createExtractionDirectory()) {
    case ExtractionDirectoryResult::Created:
        return;
    case ExtractionDirectoryResult::NoTemporaryDirectory:
        fatalMessage(1015);
    case ExtractionDirectoryResult::NotCreated:
        fatalMessage(1009, "7");
    }
}

int extractPayload(bool createDirectory)
{
    logLine(L"extracting files");
    const int32_t count = configInt(config_entry::kIncludedFileCount);
    logLine(L"Included files: %d", static_cast<int>(count));
    if (count <= 0) {
        if (createDirectory)
            setExtractionDirectory({});
        return 0;
    }

    const std::vector<std::string> names = payloadFileNames(configValue(config_entry::kIncludedFileList), count);
    // The names come from the executable's own data, which a checksum does not protect:
    // every one is checked before the first directory or file exists.
    for (const std::string& name : names) {
        if (!isSafePayloadName(name)) {
            logError(L"unsafe payload name %S", name.c_str());
            return 1;
        }
    }

    if (createDirectory)
        createExtractionDirectoryOrExit();
    // Without a directory the targets would be "\name", at the root of the current drive.
    if (extractionDirectory().empty()) {
        logError(L"no extraction directory for the included files");
        return 1;
    }

    unique_file launcher = openLauncherFileOrExit();
    LARGE_INTEGER start;
    start.QuadPart = payloadStartPosition();
    if (!SetFilePointerEx(launcher.get(), start, nullptr, FILE_BEGIN)) {
        logError(L"could not seek to the included files %I64d (%d)", start.QuadPart,
                 static_cast<int>(GetLastError()));
        return 1;
    }

    const std::string& base = extractionDirectory();
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
    const int64_t length = readLengthOrExit(launcher);
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

int64_t unextractedPosition() { return g_unextractedPosition; }
