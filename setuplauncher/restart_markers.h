// The markers with which the installer's Java side starts the launcher again. They are
// read from the command-line tail as the program entry receives it (the 8-bit command line
// after the program name).
#pragma once

#include <string_view>

struct RestartMarkers {
    bool reboot = false;           // the whole tail is "__sldk_reboot"
    bool languageRestart = false;  // the tail begins with "__sldk_lang_restart"
    bool extractAndExit = false;   // ... with "__sldk_extract_and_exit"
    bool deferredDeletion = false; // ... with "__sldk_windel" (the list path is argument 2)
};

RestartMarkers recognizeRestartMarkers(std::string_view tail);
