#include "diagnostics.h"

#include <cstdarg>
#include <cstdio>

namespace {

DiagnosticSink g_sink = nullptr;

void emit(bool isError, const char* format, va_list args)
{
    if (!g_sink)
        return;
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed < 0)
        return;
    std::string line(static_cast<size_t>(needed), '\0');
    (void)std::vsnprintf(line.data(), line.size() + 1, format, args);
    g_sink(isError, line);
}

} // namespace

void setDiagnosticSink(DiagnosticSink sink) { g_sink = sink; }

void diagnosticLine(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    emit(false, format, args);
    va_end(args);
}

void diagnosticError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    emit(true, format, args);
    va_end(args);
}
