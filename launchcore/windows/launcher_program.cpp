#include "launchcore/windows/launcher_program.h"

namespace {
LauncherProgram g_program = LauncherProgram::Setup;
bool g_serviceMode = false;
bool g_noRedirection = false;
} // namespace

void setLauncherProgram(LauncherProgram program) { g_program = program; }
LauncherProgram launcherProgram() { return g_program; }
void setServiceMode(bool runningAsService) { g_serviceMode = runningAsService; }
bool serviceMode() { return g_serviceMode; }
void setNoRedirection(bool value) { g_noRedirection = value; }
bool noRedirection() { return g_noRedirection; }
