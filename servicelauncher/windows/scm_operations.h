// The service commands: what the service launcher asks the service control manager for,
// with one console line per result on standard output. They act on serviceName().
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Replaces an existing service of the name (stop, delete) and creates it with the quoted own
// path, the dependencies of entry 149 and the description of message 20017. 0 or 1.
int installService(DWORD startType);

// Stops and deletes the service. 0 or 1; without print the failures are silent.
int uninstallService(bool print);

enum class StopOutcome {
    Stopped,        // the stop was accepted and the service reached STOPPED
    AlreadyStopped, // it was not running
    StillRunning,   // the stop was accepted, but STOPPED was not reached in time
    Failed,         // no manager, no service, or the stop was refused
};

// Asks the service to stop and waits for it. The three lines of an accepted stop (or
// "Service is already stopped.") are printed even without print.
StopOutcome stopServiceOutcome(bool print);
// The exit code of a stop: 0 when the service is stopped afterwards, else 1.
int stopService(bool print);

// Polls while the service reports STOP_PENDING, for as long as its checkpoint grows or its
// wait hint has not passed; true when it reached STOPPED.
bool waitForServiceStop(SC_HANDLE service);

// Starts the service with the arguments after the first (the service name argument). 0 or 1.
int startService(const std::vector<std::wstring>& arguments);

// Prints "Running." or "Not running." and "Auto-start." for an automatic start.
// 0 running, 3 not running, 1 error.
int printServiceStatus();

