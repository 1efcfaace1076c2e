#include "setuplauncher/java_window_wait.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The positions the bar takes over the first forty ticks from a start position.
std::vector<int> positionsFrom(int start)
{
    std::vector<int> shown;
    int position = start;
    for (int ticks = 1; ticks <= 40; ++ticks) {
        const int next = javaWaitPosition(position, start, ticks);
        if (next != position)
            shown.push_back(next);
        position = next;
    }
    return shown;
}

} // namespace

// Every fifth tick a quarter of what lies above the start; the last step stops at 390.
TEST(JavaWindowWait, BarStepsAQuarterEveryFifthTickUpTo390)
{
    EXPECT_EQ(positionsFrom(300), (std::vector<int>{325, 350, 375, 390}));
    EXPECT_EQ(positionsFrom(200), (std::vector<int>{250, 300, 350, 390}));
    EXPECT_EQ(positionsFrom(100), (std::vector<int>{175, 250, 325, 390}));
    // A language restart that reuses its directory starts at 0.
    EXPECT_EQ(positionsFrom(0), (std::vector<int>{100, 200, 300, 390}));
}

// Only at the timeout tick, only while the marker still says "starting", and never with
// the timeout switched off: a Java side that took the marker over is waited for.
TEST(JavaWindowWait, GivesUpOnlyAtTheTimeoutTickWhileStillStarting)
{
    EXPECT_TRUE(javaWaitTimesOut(kJavaWaitTimeoutTicks, 1, false));
    EXPECT_FALSE(javaWaitTimesOut(kJavaWaitTimeoutTicks, 1, true));
    EXPECT_FALSE(javaWaitTimesOut(kJavaWaitTimeoutTicks, 0, false));
    EXPECT_FALSE(javaWaitTimesOut(kJavaWaitTimeoutTicks - 1, 1, false));
    EXPECT_FALSE(javaWaitTimesOut(kJavaWaitTimeoutTicks + 1, 1, false));
    EXPECT_EQ(kJavaWaitTimeoutTicks * kJavaWaitPollMs, 240000) << "about four minutes";
}
