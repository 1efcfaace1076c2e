// Single-instance mode: the instance semaphore and the pid registry.
#pragma once

#include <windows.h>

#include <string>

#include "launchcore/windows/base/handles.h"

// Names and creates the instance semaphore. In single-instance mode a second start of the
// same executable finds the running copy's process id, raises its windows when configured,
// and ends the process with exit code 0; the first start records its own process id.
void enforceSingleInstance();

// The semaphore name chosen by enforceSingleInstance; empty before it ran.
const std::string& instanceSemaphoreName();

// The pieces enforceSingleInstance is made of.

// The launcher's 8-bit module path as a lower-case full path: it keys the semaphore name
// and the instance pid registry, so starts through differently cased paths agree.
std::string launcherIdentity();

struct InstanceSemaphore {
    unique_handle handle; // empty when the creation failed
    std::string name;
    DWORD error = 0;      // GetLastError() of the creation; ERROR_ALREADY_EXISTS for a taken name
};

// Without counted, the stem itself is the name; with counted, the first free name of
// stem0, stem1, ... is used (the handles of taken names are closed on the way).
InstanceSemaphore createInstanceSemaphore(const std::string& identity, bool globalNamespace, bool counted);

// The process id recorded under the identity in HKCU; 0 when the value is missing or not
// four bytes long.
DWORD readInstancePid(const std::string& identity);
bool recordInstancePid(const std::string& identity, DWORD pid);

// Whether the process runs the executable the identity names (case ignored; short and
// long forms of the path compare equal). A recorded pid can be stale and reused by an
// unrelated program, whose windows must not be raised.
bool processImageMatches(DWORD pid, const std::string& identity);

// The registry key (under HKEY_CURRENT_USER) holding one process id per launcher identity.
inline constexpr const char* kInstancePidKey = "SOFTWARE\\brenmark\\vexon\\pids\\";
