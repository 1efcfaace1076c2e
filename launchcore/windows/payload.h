// The included files: copied out of the launcher's appended data into the extraction
// directory, and removed again when the launcher stops on an error.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Extracts the files of entries 2002 and 2003 into the extraction directory. With
// createDirectory (the service launcher) a fresh extraction directory is made first, or none
// is set when there is nothing to extract. 0 on success, 1 when a name is unsafe or the
// executable cannot be read, 2 when a file cannot be written. A file that cannot be created
// is fatal (message 1009 "11").
int extractPayload(bool createDirectory);

// Reads one entry (a signed 64-bit length, then the scrambled bytes) at the launcher file's
// position into targetPath; a length of 0 or below creates nothing. Same results.
int extractPayloadFile(HANDLE launcher, const std::string& targetPath);

// Deletes the files of a directory and, with alsoSubdirectories, empties and removes its
// first-level subdirectories. Links are removed, never followed. Paths that are empty or
// begin with "." are left alone.
void emptyDirectory(const std::string& path, bool alsoSubdirectories);

// The launcher file's position behind the last extracted entry, where the Java side's own
// data begins; 0 until extractPayload has extracted something.
int64_t unextractedPosition();
