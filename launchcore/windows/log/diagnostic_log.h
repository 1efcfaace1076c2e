// The diagnostic log: a UTF-8 file in the temporary directory, one timestamped line per
// call, opened and closed for every line, deleted at a normal exit unless it was asked for
// or its path was handed out (an error display or the keep-log question).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Formats are wide printf formats with Microsoft meanings ("%s" UTF-16, "%S" 8-bit).
void logLine(const wchar_t* format, ...);
void logError(const wchar_t* format, ...);

// The log path, or nullptr when no log was created; marks the log as kept.
const wchar_t* logPath();

// Set by "-create-sldk-log" and its sisters; read when the log is set up.
void setKeepLogRequested();

// Routes the Windows-free code's diagnostic lines into this log.
void installDiagnosticSink();

// The "[s:ms] " prefix of a line written at now for a log started at start (milliseconds,
// both kept to 32 bits).
std::wstring logLinePrefix(uint32_t now, uint32_t start);
