// The installer's switches and modes. The start-up sets them on the main thread from the
// restart markers and the command-line switches before any worker thread starts; the work
// routine and the threads it starts only read them. (The language restart and the manual
// switch are shared with the core and live in its launcher state.)
#pragma once

// No progress window (unless splash), no box for a failed extraction, no download dialog.
void setQuiet(bool on);
bool quiet();

// Extract the payload and the runtime, record the unextracted position and end.
void setExtractAndExit(bool on);
bool extractAndExit();

// On unless "-nocheck" was given.
void setIntegrityCheck(bool on);
bool integrityCheckOn();
