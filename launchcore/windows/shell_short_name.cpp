#include "launchcore/windows/shell_short_name.h"

// The command processor fallback arrives later; until then it has no answer.
std::string shortNameFromShell(const std::wstring&) { return {}; }
