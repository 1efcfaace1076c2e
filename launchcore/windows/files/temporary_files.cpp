#include "launchcore/windows/files/temporary_files.h"

#include <windows.h>

#include <cstring>

#include "launchcore/path_text.h"
#include "launchcore/windows/base/random_numbers.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/log/temporary_directory.h"

std::string tempFileName()
{
    const std::string& directory = temporaryDirectoryAnsi();
    if (directory.empty())
        return {};
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
