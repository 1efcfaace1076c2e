// The two system DLLs loaded once per process before the shell is bound (and by the
// installer's start), so that their later implicit loads find them already mapped.
#pragma once

#include <string>
#include <vector>

// The full paths loaded: each DLL in the system directory. Never a plain name: where the
// DLL search is not restricted, a copy planted beside a downloaded installer would win.
std::vector<std::wstring> preloadedLibraryPaths();

// Loads them once per process; a missing DLL is not an error. Later calls do nothing.
void preloadSystemLibraries();
