#include "setuplauncher/windows/installer_state.h"

namespace {

bool g_quiet = false;
bool g_extractAndExit = false;
bool g_integrityCheck = true;
bool g_startWithoutWindow = false;
bool g_runtimeAvailable = false;

} // namespace

void setQuiet(bool on) { g_quiet = on; }
bool quiet() { return g_quiet; }

void setExtractAndExit(bool on) { g_extractAndExit = on; }
bool extractAndExit() { return g_extractAndExit; }

void setIntegrityCheck(bool on) { g_integrityCheck = on; }
bool integrityCheckOn() { return g_integrityCheck; }

void setStartWithoutWindow(bool on) { g_startWithoutWindow = on; }
bool startWithoutWindow() { return g_startWithoutWindow; }

void setRuntimeAvailable(bool available) { g_runtimeAvailable = available; }
bool runtimeAvailable() { return g_runtimeAvailable; }

namespace {
int g_javaWaitStart = 0;
} // namespace

void setJavaWaitStart(int position) { g_javaWaitStart = position; }
int javaWaitStart() { return g_javaWaitStart; }
