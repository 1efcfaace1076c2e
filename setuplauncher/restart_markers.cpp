#include "setuplauncher/restart_markers.h"

RestartMarkers recognizeRestartMarkers(std::string_view tail)
{
    // Only the reboot marker must be the whole tail: the others are followed by the
    // arguments of the restarted run.
    RestartMarkers markers;
    markers.reboot = tail == "__sldk_reboot";
    markers.languageRestart = tail.starts_with("__sldk_lang_restart");
    markers.extractAndExit = tail.starts_with("__sldk_extract_and_exit");
    markers.deferredDeletion = tail.starts_with("__sldk_windel");
    return markers;
}
