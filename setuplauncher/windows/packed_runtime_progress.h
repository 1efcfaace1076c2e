// The progress bar during the restoration of a packed runtime, where nothing measurable
// happens: a timer thread steps it from 200 to 300 at the pace the untar set.
#pragma once

#include <windows.h>

// Starts the timer thread for the window (nothing without one); untarMs is how long the
// untar of the runtime archive took, which paces the steps.
void startPackedRuntimeProgress(HWND window, DWORD untarMs);
// Tells the timer thread that the restoration is done; it ends at its next step.
void finishPackedRuntimeProgress();
