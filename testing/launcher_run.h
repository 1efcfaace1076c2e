// Runs a built launcher the way the scenario tests need it: a private temporary directory
// through TMP and TEMP, a short timeout, and the logs it left there afterwards.
#pragma once

#include "testing/launcher_builder.h"
#include "testing/process_runner.h"

#include <string>
#include <utility>
#include <vector>

// A launcher run that hangs is a failure, not something to wait a minute for.
inline constexpr DWORD kLauncherTimeoutMs = 20000;

ProcessOptions launcherOptions(const std::wstring& tempDirectory, std::vector<std::wstring> arguments = {},
                               const std::vector<std::pair<std::wstring, std::wstring>>& extraEnvironment = {});

struct LauncherOutcome {
    ProcessResult process;
    std::vector<std::wstring> logs; // "sldk_nlog_*.log" in the temporary directory afterwards
};

LauncherOutcome runLauncher(const std::wstring& launcher, const std::wstring& tempDirectory,
                            const ProcessOptions& options);
LauncherOutcome runLauncher(const std::wstring& launcher, const std::wstring& tempDirectory,
                            std::vector<std::wstring> arguments = {},
                            const std::vector<std::pair<std::wstring, std::wstring>>& extraEnvironment = {});

// The text of the one log a run left behind; a test failure (and "") when there is not
// exactly one.
std::string singleLogText(const LauncherOutcome& outcome);

// The log lines without their "[s:ms] " time prefix (the header lines stay as they are) and
// without a carriage return at their end.
std::vector<std::string> logLinesWithoutTime(const std::string& text);
bool hasLogLine(const std::string& text, const std::string& line);
bool hasLogLineStartingWith(const std::string& text, const std::string& prefix);

// The extraction directories ("vxn*.tmp_dir*") a run left in its temporary directory.
std::vector<std::wstring> extractionDirectories(const std::wstring& temp);

// What a test prints about a run when an expectation fails.
std::string describe(const LauncherOutcome& outcome);
