#include "launchcore/windows/variable_expansion.h"

// The launcher variables arrive with the VM option sources; until then texts pass unchanged.
void expandLauncherVariablesWide(std::wstring&, bool) {}
void expandLauncherVariables(std::string&) {}
