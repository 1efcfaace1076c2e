// Restarting the machine when the installer's deferred deletion needs it.
#pragma once

// Waits five seconds, enables the shutdown privilege and asks for a planned reboot; returns
// when the privilege is not held or the request is refused.
void rebootAfterDelay();
