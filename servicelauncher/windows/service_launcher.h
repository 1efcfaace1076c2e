// The service launcher's command line: service commands, the run commands and the worker.
#pragma once

#include <windows.h>

// Runs the command of the process command line and returns the process exit code.
int serviceLauncherMain(HMODULE module);

// Runs the application in this process: payload, native library directories, then the VM.
// Does not return on failure.
void runInProcess(bool registerConsoleHandler);
