// The manual choice of a runtime: the user points at a java.exe, which is checked like any
// runtime found by the search and then remembered among the located runtimes.
#pragma once

#include <windows.h>

// Shows the open-file dialog owned by the window; true when a java.exe was chosen and its
// VM library loaded (failures show the runtime check's messages).
bool locateRuntime(HWND owner);
