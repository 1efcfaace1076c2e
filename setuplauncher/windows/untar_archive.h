// The untar of a runtime archive into a directory of the file system.
#pragma once

#include <windows.h>

#include <cstdint>

// Unpacks the gzip-compressed tar archive into target (relative names resolve against the
// current directory, which is the same again afterwards). With a window the progress bar
// moves through 100..200 as the data is read, scaled by total (the uncompressed size;
// nothing moves when it is 0 or below). True when the archive ended well after at least one
// file; a member file that cannot be created ends the process.
bool untarArchive(const char* archive, const char* target, HWND window, int64_t total);
