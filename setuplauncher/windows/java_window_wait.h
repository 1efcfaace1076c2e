// The thread that moves the progress bar while the Java side starts, and hides the progress
// window once the Java side shows a window of its own.
#pragma once

#include <windows.h>

// Starts the thread for the window at above-normal priority.
void startJavaWindowWait(HWND window);
