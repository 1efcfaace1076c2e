#include "launchcore/windows/base/process_launch.h"

StartedProcess startProcess(const ProcessLaunch& launch)
{
    StartedProcess started;
    // Declared ahead of the buffers, so it runs after they are freed.
    on_scope_exit keepError([&started] {
        if (started.error != ERROR_SUCCESS)
            SetLastError(started.error);
    });

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (launch.standardInput || launch.standardOutput || launch.standardError) {
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdInput = launch.standardInput;
        startup.hStdOutput = launch.standardOutput;
        startup.hStdError = launch.standardError;
    }
    if (launch.hidden) {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    // CreateProcessW may write into the command line, so it gets its own copy.
    std::wstring commandLine = launch.commandLine;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(launch.applicationName.empty() ? nullptr : launch.applicationName.c_str(),
                        commandLine.data(), nullptr, nullptr, launch.inheritHandles ? TRUE : FALSE,
                        launch.creationFlags, const_cast<void*>(launch.environment),
                        launch.workingDirectory.empty() ? nullptr : launch.workingDirectory.c_str(), &startup,
                        &info)) {
        started.error = GetLastError();
        if (started.error == ERROR_SUCCESS)
            started.error = ERROR_GEN_FAILURE;
        return started;
    }
    started.process.reset(info.hProcess);
    started.thread.reset(info.hThread);
    started.processId = info.dwProcessId;
    return started;
}

ProcessWait waitForProcess(HANDLE process, DWORD timeoutMs, bool terminateOnTimeout, UINT terminateExitCode)
{
    ProcessWait result;
    const DWORD waited = WaitForSingleObject(process, timeoutMs);
    if (waited == WAIT_OBJECT_0) {
        result.outcome = ProcessWaitOutcome::Ended;
    } else if (waited == WAIT_TIMEOUT) {
        result.outcome = ProcessWaitOutcome::TimedOut;
    } else {
        result.error = GetLastError();
        return result;
    }
    result.exitCodeRead = GetExitCodeProcess(process, &result.exitCode) != 0;
    if (!result.exitCodeRead) {
        result.error = GetLastError();
        result.exitCode = STILL_ACTIVE;
    }
    if (result.outcome == ProcessWaitOutcome::TimedOut && terminateOnTimeout) {
        TerminateProcess(process, terminateExitCode);
        WaitForSingleObject(process, kTerminatedProcessWaitMs);
    }
    if (result.error != ERROR_SUCCESS)
        SetLastError(result.error);
    return result;
}
