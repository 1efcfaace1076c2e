// The runtime the installer carries as "jre.tar.gz" (or has downloaded): unpacked into "jre"
// of the extraction directory and loaded from there.
#pragma once

#include <windows.h>

// Untars, restores packed jars and loads the runtime; ends the process on failure.
void prepareIncludedRuntime(HWND window);
// Loads the runtime from "jre", else any installed one; ends the process when none loads.
void loadIncludedRuntime();
