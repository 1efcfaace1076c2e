// Version resources of files, read through version.dll from the system directory; for
// FileVersion.compare0 and for the choice of the shell-folder library.
#pragma once

#include <optional>

#include "natives/file_version_order.h"

// The file version of the file's fixed version information; none when version.dll or one of
// its functions is missing, the path is null or too long, or the file has no readable
// version resource.
std::optional<FileVersionNumber> readFileVersion(const wchar_t* path);
