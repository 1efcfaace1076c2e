#include "setuplauncher/windows/installer_state.h"

namespace {

bool g_quiet = false;
bool g_extractAndExit = false;
bool g_integrityCheck = true;

} // namespace

void setQuiet(bool on) { g_quiet = on; }
bool quiet() { return g_quiet; }

void setExtractAndExit(bool on) { g_extractAndExit = on; }
bool extractAndExit() { return g_extractAndExit; }

void setIntegrityCheck(bool on) { g_integrityCheck = on; }
bool integrityCheckOn() { return g_integrityCheck; }
