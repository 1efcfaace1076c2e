// The service's own process: a thin supervisor that reports the service status, starts the
// worker copy of this executable, and stops it through its standard input.
#pragma once

#include <windows.h>

// The ServiceMain procedure handed to the dispatcher.
void WINAPI serviceMainProc(DWORD argumentCount, LPWSTR* arguments);

// Console control handler of the service process and of the worker: every event is handled,
// so a user logging off does not end the service.
BOOL WINAPI ignoreConsoleEvent(DWORD event);
