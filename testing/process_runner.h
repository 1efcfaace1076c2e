// Starts a program for a test and captures what a user would see of it.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

struct ProcessOptions {
    std::vector<std::wstring> arguments;                        // quoted as needed into the command line
    std::vector<std::pair<std::wstring, std::wstring>> environment; // set (or, with an empty value, removed) over the test's own
    std::wstring workingDirectory;                              // empty: the test's
    DWORD timeoutMs = 60000;
    std::string standardInput;                                  // written to the child's standard input, then closed
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
