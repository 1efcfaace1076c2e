// Child processes: one way to start them and one way to wait for them.
#pragma once

#include <windows.h>

#include <string>

#include "launchcore/windows/base/handles.h"

struct ProcessLaunch {
    // Empty: the program is the first word of the command line, found by the usual search.
    std::wstring applicationName;
    // Already quoted as the child will split it.
    std::wstring commandLine;
    const void* environment = nullptr; // nullptr: ours; a UTF-16 block needs CREATE_UNICODE_ENVIRONMENT
    std::wstring workingDirectory;     // empty: ours
    // Inheritable handles (with inheritHandles set); any of them given hands all three over,
    // the missing ones as none.
    HANDLE standardInput = nullptr;
    HANDLE standardOutput = nullptr;
    HANDLE standardError = nullptr;
    bool hidden = false;
    DWORD creationFlags = NORMAL_PRIORITY_CLASS;
    bool inheritHandles = false;
};

struct StartedProcess {
    unique_handle process;
    unique_handle thread;
    DWORD processId = 0;
    DWORD error = ERROR_SUCCESS; // why the start failed

    explicit operator bool() const noexcept { return static_cast<bool>(process); }
};

// On failure the result is empty and GetLastError() is still the start's error.
StartedProcess startProcess(const ProcessLaunch& launch);

enum class ProcessWaitOutcome { Ended, TimedOut, Failed };

struct ProcessWait {
    ProcessWaitOutcome outcome = ProcessWaitOutcome::Failed;
    // As read when the wait returned: STILL_ACTIVE for a process that had not ended, so a
    // program that really ends with 259 is told apart only by the outcome.
    DWORD exitCode = STILL_ACTIVE;
    bool exitCodeRead = false;
    DWORD error = ERROR_SUCCESS; // of a failed wait or exit-code read

    bool ended() const noexcept { return outcome == ProcessWaitOutcome::Ended; }
};

// How long a process terminated after its time ran out is given to go.
inline constexpr DWORD kTerminatedProcessWaitMs = 5000;

// Waits up to timeoutMs (INFINITE allowed). A process still running then is terminated with
// terminateExitCode when terminateOnTimeout is set and awaited briefly, so files it held can
// be deleted afterwards.
ProcessWait waitForProcess(HANDLE process, DWORD timeoutMs, bool terminateOnTimeout, UINT terminateExitCode = 1);
