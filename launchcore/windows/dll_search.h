// The DLL search path and PATH for native libraries.
#pragma once

#include <functional>
#include <string>

// Splits an 8-bit ";"-list (empty elements skipped), resolves every element against the
// launcher directory, calls onElement with each, and joins the resolved elements with ";".
std::string pathList(const std::string& list, const std::function<void(const std::string&)>& onElement);

// Adds entry 10004's directories to the DLL search and in front of PATH.
void addNativeLibraryDirectories();

// 0 when AddDllDirectory is unavailable (or, in servicelauncher, entry 154 is clear).
void* addDllDirectory(const std::string& directory);
void removeDllDirectory(void* cookie);

// From now on libraries load only from System32 and the added directories.
void restrictDllSearch();
