// Windows-free code reports its log lines through this sink. The launcher routes them
// into the diagnostic log (narrow text, logged with "%S"); tests install a recorder.
#pragma once

#include <string>

using DiagnosticSink = void (*)(bool isError, const std::string& line);

// Installs the sink; nullptr discards lines (the default).
void setDiagnosticSink(DiagnosticSink sink);

// printf-style narrow formatting ("%d", "%s", "%lld"); the line carries no "ERROR: " prefix,
// the sink adds what its log needs.
void diagnosticLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void diagnosticError(const char* format, ...) __attribute__((format(printf, 1, 2)));
