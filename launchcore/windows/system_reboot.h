// Restarting the machine: for the installer's reboot marker and for the deferred deletion
// when its list asks for a reboot.
#pragma once

#include <windows.h>

// The call that finally restarts the machine (ExitWindowsEx). Tests put a recorder in its
// place before they drive a path that reboots, so that no test run restarts the machine it
// runs on; the previous call is returned so that they can put it back.
using RestartCall = BOOL(WINAPI*)(UINT flags, DWORD reason);
RestartCall replaceRestartCall(RestartCall call);

// Enables the shutdown privilege in the process token and asks for a reboot (EWX_REBOOT,
// reason 0); true when the reboot was initiated. False when the token cannot be opened, the
// privilege is not held or the request is refused.
bool rebootSystem();

// Waits five seconds, then rebootSystem(); the result is not looked at.
void rebootAfterDelay();
