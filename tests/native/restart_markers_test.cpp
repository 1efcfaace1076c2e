#include "setuplauncher/restart_markers.h"

#include <gtest/gtest.h>

// Only the reboot marker must be the whole tail; the others lead a restarted run's own
// arguments. Case and spelling count.
TEST(RestartMarkers, RebootIsTheWholeTailTheOthersArePrefixes)
{
    EXPECT_TRUE(recognizeRestartMarkers("__sldk_reboot").reboot);
    EXPECT_FALSE(recognizeRestartMarkers("__sldk_reboot now").reboot);
    EXPECT_FALSE(recognizeRestartMarkers(" __sldk_reboot").reboot);
    EXPECT_FALSE(recognizeRestartMarkers("__SLDK_REBOOT").reboot);

    const RestartMarkers language = recognizeRestartMarkers("__sldk_lang_restart -q de");
    EXPECT_TRUE(language.languageRestart);
    EXPECT_FALSE(language.reboot || language.extractAndExit || language.deferredDeletion);
    EXPECT_TRUE(recognizeRestartMarkers("__sldk_extract_and_exitX").extractAndExit);
    EXPECT_TRUE(recognizeRestartMarkers("__sldk_windel \"C:\\list.txt\"").deferredDeletion);

    const RestartMarkers none = recognizeRestartMarkers("-q __sldk_windel");
    EXPECT_FALSE(none.reboot || none.languageRestart || none.extractAndExit || none.deferredDeletion);
}
