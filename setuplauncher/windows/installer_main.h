// The top of the installer: what the program entry hands control to, and the work routine
// that turns the launcher into a running Java installer.
#pragma once

#include <windows.h>

// The restart markers of the command-line tail (the 8-bit command line after the program
// name), the common start-up, the installer switches, single-instance mode, then the work.
// Returns the process exit code.
int installerMain(HINSTANCE instance, const char* tail);

// The work: integrity check, extraction, runtime choice and the Java side. Runs on the main
// thread (no window) or on the progress window's worker thread; ends the process itself on
// every error. Returns 0.
int prepareAndLaunch(HWND window);
