// Which of the two launchers this process is. A few steps differ: the installer looks for
// the runtime its own installer used, registers the natives from its own module and tells
// the Java side its executable; the service launcher loads its natives from a helper
// library and adds library directories to the DLL search only when configured to.
#pragma once

enum class LauncherProgram { Setup, Service };

void setLauncherProgram(LauncherProgram program);
LauncherProgram launcherProgram();

// The service launcher's run state, read by the VM start: a service gets "-Xrs" and
// vexon.isService; the "run" command keeps the Java side's console streams.
void setServiceMode(bool runningAsService);
bool serviceMode();
void setNoRedirection(bool noRedirection);
bool noRedirection();
