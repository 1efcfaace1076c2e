// Functions bound at run time. The launchers import only libraries Windows always takes from
// the system directory; everything else is loaded from there on first use, never from the
// program's folder or the current directory, where a planted copy could wait.
#pragma once

#include <windows.h>

// The library loaded once for the process from the system directory (kernel32 and advapi32,
// which every launcher imports, are only looked up). nullptr with GetLastError() on failure.
HMODULE systemLibrary(const wchar_t* name);

// The address of function in the library; nullptr with GetLastError() when either is missing.
void* lateBoundAddress(const wchar_t* library, const char* function);

template <typename Function>
Function lateBound(const wchar_t* library, const char* function)
{
    return reinterpret_cast<Function>(lateBoundAddress(library, function));
}
