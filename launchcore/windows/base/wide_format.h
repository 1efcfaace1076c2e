// Wide formatting with the Microsoft meaning of the conversions: "%s" takes UTF-16 text and
// "%S" 8-bit text. Under mingw-w64 only _vsnwprintf keeps that meaning (swprintf swaps it),
// so every wide format in the launchers goes through these two functions.
#pragma once

#include <cstdarg>
#include <string>

std::wstring formatWide(const wchar_t* format, ...);
std::wstring formatWideV(const wchar_t* format, va_list args);

// The same for 8-bit formats (with the runtime library's "%s" = 8-bit).
std::string formatNarrow(const char* format, ...);
