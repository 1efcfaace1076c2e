// The top-level windows of a process: raising them and counting them.
#pragma once

#include <windows.h>

// Every visible top-level window of the process is brought to the foreground (restored
// first when minimised and restore is set).
void bringProcessWindowsToFront(DWORD pid, bool restore);

// The visible top-level windows of the process, not counting this launcher's own console
// window (searched on the first call).
int countVisibleProcessWindows(DWORD pid);
