// The check that the installer's appended data arrived intact (a CRC-32 the packaging tool
// stored in the header), made before anything is extracted.
#pragma once

#include <windows.h>

// Returns when the data is intact or the check is off (by "-nocheck" or by the header's
// flag). Otherwise ends the process: a damaged file with the corrupted-installation box
// (also in quiet mode), a file cut short with the internal error "34". With a window the
// progress bar shows the check's share (0..100).
void verifyIntegrity(HWND window);
