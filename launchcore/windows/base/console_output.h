// Texts for the console of whoever started the program: servicelauncher's answers to its
// switches, the natives' diagnostics on the Java side's standard streams. Each text is
// flushed at once, so it is in place before anything the program does next.
#pragma once

#include <cstdio>
#include <string_view>

// printf-style text to standard output.
void printConsole(const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));

// Bytes as they are, to stream (stdout or stderr).
void writeConsoleBytes(FILE* stream, std::string_view bytes);

// What earlier writes to standard output left in the runtime library's buffer.
void flushConsole();
