#include "launchcore/windows/base/console_output.h"

#include <cstdarg>

// A console that is closed or full leaves no one to tell, so what the runtime library
// answers for these writes is not checked.

void printConsole(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    (void)std::vfprintf(stdout, format, args);
    va_end(args);
    flushConsole();
}

void writeConsoleBytes(FILE* stream, std::string_view bytes)
{
    (void)std::fwrite(bytes.data(), 1, bytes.size(), stream);
    (void)std::fflush(stream);
}

void flushConsole() { (void)std::fflush(stdout); }
