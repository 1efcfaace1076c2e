// The progress bar of the progress window, shared by the phases of the work: each writes
// its share of the scale (the check 0..100, the runtime archive 100..200, the packed
// runtime 200..300, the wait for the Java side up to 390).
#pragma once

#include <windows.h>

inline constexpr int kProgressBarControl = 1001;

// Both do nothing without a window. The messages go through the dialog's thread, so the
// worker threads may call them.
void setProgressPosition(HWND window, int position);
void setProgressRange(HWND window, int minimum, int maximum);
