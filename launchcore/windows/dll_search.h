// The DLL search path and PATH for native libraries.
#pragma once

#include <string>

// Adds entry 10004's directories to the DLL search and in front of PATH.
void addNativeLibraryDirectories();

// 0 when AddDllDirectory is unavailable (or, in servicelauncher, entry 154 is clear).
void* addDllDirectory(const std::string& directory);
void removeDllDirectory(void* cookie);

// From now on libraries load only from System32 and the added directories.
void restrictDllSearch();
