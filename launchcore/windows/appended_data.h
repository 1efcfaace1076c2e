// The launcher's own appended data: loading it at start-up and the lookups that need the
// Windows side (wide conversions, message formatting). The tables and the plain lookups are
// in launchcore/configuration.h.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "launchcore/configuration.h"

// The launcher's executable (its long module path) opened for reading, shared for read and
// write; INVALID_HANDLE_VALUE on failure.
HANDLE openLauncherFile();

// Sets the handle's position to the start of the appended data; fatal on a read failure.
void seekAppendedData(HANDLE file);

// Reads the configuration record, message table and locale blocks, and returns entry 107
// (the application kind). Switches the GUI error mode off unless that kind is 1 or 5.
// Fatal ("Internal Error: ..." or "Error opening media file.") when the data cannot be read.
int loadAppendedData();

// The position after the locale blocks, where the included files begin.
int64_t payloadStartPosition();

// Entry id widened from the file-API code page, at most size units including the
// terminator; returns the units copied.
size_t configStringWide(int32_t id, wchar_t* buffer, size_t size);
std::wstring configStringWide(int32_t id);

std::wstring messageText(int32_t id);
// messageText, or the widened configuration entry of the same id when the message is empty.
std::wstring messageOrConfigText(int32_t id);
// messageOrConfigText with the first "{0}" replaced by the argument (when given).
std::wstring formatMessage(int32_t id, const wchar_t* argument = nullptr);
std::wstring formatMessage(int32_t id, const char* argument);

// Copies length bytes from the file's position to the output, unscrambling (XOR 0x3C) when
// asked. 0 on success, 1 on a read failure or early end, 2 on a write failure.
int copyUnscrambled(HANDLE source, HANDLE target, int64_t length, bool unscramble);
