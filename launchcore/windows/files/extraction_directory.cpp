#include "launchcore/windows/files/extraction_directory.h"

#include <windows.h>

#include <ctime>
#include <string_view>

#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/files/temporary_files.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/state/launcher_state.h"

namespace {

constexpr int kCreateAttempts = 10;

bool leftAlone(const std::string& path) { return path.empty() || path.front() == '.'; }

// Empties a directory and, levels deep (below 0: however deep), its subdirectories, removing
// each once it is empty. A junction or directory link may point anywhere, also at files the
// user cannot otherwise delete: it is removed as a link (RemoveDirectoryA removes only the
// link) and never descended.
void emptyLevels(const std::string& path, int levels)
{
    logLine(L"emptying %S", path.c_str());
    const std::string prefix = path.back() == '\\' ? path : path + "\\";
    WIN32_FIND_DATAA entry;
    unique_find search(FindFirstFileA((prefix + "*.*").c_str(), &entry));
    if (!search)
        return;
    do {
        const std::string_view name = entry.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string full = prefix + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            logLine(L"attempting to remove %S (%d)", full.c_str(), levels != 0 ? 1 : 0);
            if (levels != 0 && !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                emptyLevels(full, levels - 1);
            RemoveDirectoryA(full.c_str());
        } else {
            logLine(L"attempting to delete %S", full.c_str());
            DeleteFileA(full.c_str());
        }
    } while (FindNextFileA(search.get(), &entry));
}

} // namespace

ExtractionDirectoryResult createExtractionDirectory()
{
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const std::string name = tempFileName();
        if (name.empty()) {
            setExtractionDirectory({});
            return ExtractionDirectoryResult::NoTemporaryDirectory;
        }
        const std::string directory = name + "_dir" + std::to_string(static_cast<int>(std::time(nullptr)));
        setExtractionDirectory(directory);
        logLine(L"Temp dir3: %S", directory.c_str());
        if (CreateDirectoryA(directory.c_str(), nullptr))
            return ExtractionDirectoryResult::Created;
        logLine(L"Could not create dir (%d)", static_cast<int>(GetLastError()));
    }
    setExtractionDirectory({});
    return ExtractionDirectoryResult::NotCreated;
}

void emptyDirectory(const std::string& path, bool alsoSubdirectories)
{
    if (!leftAlone(path))
        emptyLevels(path, alsoSubdirectories ? 1 : 0);
}

void deleteDirectoryTree(const std::string& path)
{
    if (leftAlone(path))
        return;
    emptyLevels(path, -1);
    if (!RemoveDirectoryA(path.c_str()))
        logError(L"could not remove %S (%d)", path.c_str(), static_cast<int>(GetLastError()));
}
