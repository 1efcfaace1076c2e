// Starts a program for a test and captures what a user would see of it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct ProcessOptions {
    std::vector<std::wstring> arguments;                        // quoted as needed into the command line
    // Appended verbatim after the quoted program and arguments, for command lines that the
    // quoting rules cannot produce (stray quotes, apostrophes, odd spacing).
    std::optional<std::wstring> rawArgumentText;
    std::vector<std::pair<std::wstring, std::wstring>> environment; // set (or, with an empty value, removed) over the test's own
    std::wstring workingDirectory;                              // empty: the test's
    DWORD timeoutMs = 60000;
    std::string standardInput;                                  // written to the child's standard input, then closed
    DWORD creationFlags = 0;                                    // added to CREATE_UNICODE_ENVIRONMENT
    std::wstring desktop;                                       // lpDesktop of the child; empty: the test's
};

struct ProcessResult {
    bool started = false;
    DWORD startError = 0;
    DWORD exitCode = 0;   // the full 32-bit exit code
    bool timedOut = false; // the child was terminated after the timeout
    std::string standardOutput;
    std::string standardError;
    DWORD processId = 0;
};

ProcessResult runProcess(const std::wstring& program, const ProcessOptions& options = {});

// A started child whose streams are drained in the background; for tests that look at the
// running process (its windows) before it ends. The destructor terminates a child that is
// still running.
class RunningProcess {
public:
    RunningProcess() = default;
    RunningProcess(const RunningProcess&) = delete;
    RunningProcess& operator=(const RunningProcess&) = delete;
    RunningProcess(RunningProcess&& other) noexcept;
    RunningProcess& operator=(RunningProcess&& other) noexcept;
    ~RunningProcess();

    bool started() const { return state_ != nullptr; }
    DWORD startError() const { return startError_; }
    DWORD processId() const;
    HANDLE processHandle() const;
    // Waits up to timeoutMs for the end (terminating the child after it) and collects the
    // streams. Callable once.
    ProcessResult wait(DWORD timeoutMs);

    friend RunningProcess startProcess(const std::wstring& program, const ProcessOptions& options);

private:
    struct State;
    State* state_ = nullptr;
    DWORD startError_ = 0;
};

RunningProcess startProcess(const std::wstring& program, const ProcessOptions& options = {});

// One argument quoted so that CommandLineToArgvW (and the C runtime) give it back unchanged.
std::wstring quoteArgument(const std::wstring& argument);

// The full command line runProcess uses for program and options.
std::wstring buildCommandLine(const std::wstring& program, const ProcessOptions& options);

// The current environment with the overrides applied (an empty value removes the name), as
// a sorted, double-NUL-terminated Unicode block.
std::wstring buildEnvironmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& overrides);
