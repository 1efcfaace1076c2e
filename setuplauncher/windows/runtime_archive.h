// The Java runtime an installer carries as "jre.tar.gz" in its extraction directory (or
// downloaded there): unpacked into "jre", its packed jars restored, its VM library loaded.
// Both work on the current directory, which is the extraction directory.
#pragma once

#include <windows.h>

// Untars, restores the packed jars when the configuration says the runtime is packed, and
// loads the runtime. An archive that cannot be unpacked ends the process with the
// corrupted-runtime text. With a window the progress bar shows the phases.
void prepareIncludedRuntime(HWND window);

// Loads the VM library of "jre", or else of any runtime the search finds; ends the process
// when neither loads.
void loadIncludedRuntime();
