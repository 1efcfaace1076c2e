// The included files: copied out of the launcher's appended data into the extraction
// directory (files/extraction_directory.h makes and removes that directory).
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

// A fresh extraction directory, or the end: message 1015 without a temporary directory,
// message 1009 "7" when none could be made.
void createExtractionDirectoryOrExit();

// Reads one entry (a signed 64-bit length, then the scrambled bytes) at the launcher file's
// position into targetPath; a length of 0 or below creates nothing. Same results.
int extractPayloadFile(HANDLE launcher, const std::string& targetPath);

// The launcher file's position behind the last extracted entry, where the Java side's own
// data begins; 0 until extractPayload has extracted something.
int64_t unextractedPosition();
