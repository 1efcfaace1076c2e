// Reading the launcher's own executable: opening it, finding its appended data, reading the
// included files' lengths and copying their bytes out.
#pragma once

#include <windows.h>

#include <cstdint>

#include "launchcore/appended_data_format.h"
#include "launchcore/windows/base/handles.h"

// The launcher's executable (its long module path) opened for reading, shared for read and
// write; empty on failure, with GetLastError() telling why.
unique_file openLauncherFile();

// The same, fatal ("Error opening media file.", the reason in the log) when it cannot be opened.
unique_file openLauncherFileOrExit();

// Sets the handle's position to the start of the appended data; fatal on a read failure.
void seekAppendedData(HANDLE file);

// Reads the appended record at the file's position (readAppendedRecord over the file).
std::optional<AppendedDataError> readAppendedRecord(HANDLE file, AppendedRecord& record);

// Logs what a failed read of the appended data found and ends with its "Internal Error: ..."
// text.
[[noreturn]] void failedAppendedDataRead(const AppendedDataError& error);

// Reads a signed 64-bit little-endian length at the file's position; fatal on a short read.
int64_t readLengthOrExit(HANDLE file);
// Reads an unsigned 32-bit little-endian word at the file's position; fatal on a short read.
uint32_t readWordOrExit(HANDLE file);
// The file's position; -1 when it cannot be taken.
int64_t filePosition(HANDLE file);

// Copies length bytes from the file's position to the output, unscrambling (XOR 0x3C) when
// asked. 0 on success, 1 on a read failure or early end, 2 on a write failure.
int copyUnscrambled(HANDLE source, HANDLE target, int64_t length, bool unscramble);
