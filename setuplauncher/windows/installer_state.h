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

// Configuration entry 155: the progress window is shown only when a download or the manual
// choice of a runtime needs it.
void setStartWithoutWindow(bool on);
bool startWithoutWindow();

// An included runtime archive or an extracted runtime is there, or a runtime was
// downloaded. Written only by the work thread (and the download it runs).
void setRuntimeAvailable(bool available);
bool runtimeAvailable();

// Where the bar starts while the Java side comes up: 100, 200 or 300 after the runtime's
// preparation; 0 in a language restart that reuses its directory.
void setJavaWaitStart(int position);
int javaWaitStart();
