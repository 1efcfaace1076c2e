// The "InstallStarted" values with which the launcher and the installer's Java side tell
// each other that an installer start is under way: one for any installer, one for this
// process (its Java side writes 2 there when its own window is up).
#pragma once

#include <windows.h>

// Sets (to 1) or deletes the per-process and the global value as asked. Nothing happens in a
// language restart; registry errors are ignored.
void setInstallStartedMarkers(bool set, bool perProcess, bool global);

// The per-process value (or the global one); 0 when it is missing.
DWORD readInstallStartedMarker(bool perProcess);
