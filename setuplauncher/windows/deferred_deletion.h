// The "__sldk_windel" run: what the installer (or an uninstaller) could not delete while it
// ran is deleted once it has ended, with retries, and what still resists is left to the next
// system start. The texts it may show come from the list; there is no log, configuration or
// message table in this run.
#pragma once

#include <string>

// Carries out the deletion list at listPath (a relative path resolves in the executable's
// folder), deletes the list and reboots, asks for a reboot or leaves a marker for the Java
// side as the list requests. Returns 0, the process's exit code.
int runDeferredDeletion(const std::wstring& listPath);
