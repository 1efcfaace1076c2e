// The rules of the wait for the Java side's first window: how the bar moves while nothing
// can be measured, and when the wait gives up.
#pragma once

#include <cstdint>

// The wait polls ten times a second.
inline constexpr int kJavaWaitPollMs = 100;
// About four minutes.
inline constexpr int kJavaWaitTimeoutTicks = 2400;

// The bar's position after a tick: every fifth tick a quarter of what is left above the
// start, never beyond 390 (the last tenth waits for the window itself).
int javaWaitPosition(int position, int startPosition, int ticks);

// Whether the wait gives up at this tick: at the timeout tick, only while the installer's
// marker still says "starting" (1) and the timeout is not switched off.
bool javaWaitTimesOut(int ticks, uint32_t marker, bool noTimeLimit);
