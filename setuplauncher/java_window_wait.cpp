#include "setuplauncher/java_window_wait.h"

#include <algorithm>

int javaWaitPosition(int position, int startPosition, int ticks)
{
    if (ticks % 5 != 0)
        return position;
    return std::min(position + (400 - startPosition) / 4, 390);
}

bool javaWaitTimesOut(int ticks, uint32_t marker, bool noTimeLimit)
{
    return ticks == kJavaWaitTimeoutTicks && marker == 1 && !noTimeLimit;
}
