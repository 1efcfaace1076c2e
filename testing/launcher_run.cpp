#include "testing/launcher_run.h"

#include <gtest/gtest.h>

#include <sstream>

ProcessOptions launcherOptions(const std::wstring& tempDirectory, std::vector<std::wstring> arguments,
                               const std::vector<std::pair<std::wstring, std::wstring>>& extraEnvironment)
{
    ProcessOptions options;
    options.arguments = std::move(arguments);
    options.environment = launcherEnvironment(tempDirectory);
    for (const auto& entry : extraEnvironment)
        options.environment.push_back(entry);
    options.timeoutMs = kLauncherTimeoutMs;
    return options;
}

LauncherOutcome runLauncher(const std::wstring& launcher, const std::wstring& tempDirectory,
                            const ProcessOptions& options)
{
    LauncherOutcome outcome;
    outcome.process = runProcess(launcher, options);
    EXPECT_TRUE(outcome.process.started) << "cannot start " << toUtf8(launcher) << ": " << outcome.process.startError;
    EXPECT_FALSE(outcome.process.timedOut) << toUtf8(launcher) << " did not end in time";
    outcome.logs = listLogs(tempDirectory);
    return outcome;
}

LauncherOutcome runLauncher(const std::wstring& launcher, const std::wstring& tempDirectory,
                            std::vector<std::wstring> arguments,
                            const std::vector<std::pair<std::wstring, std::wstring>>& extraEnvironment)
{
    return runLauncher(launcher, tempDirectory, launcherOptions(tempDirectory, std::move(arguments), extraEnvironment));
}

std::string singleLogText(const LauncherOutcome& outcome)
{
    EXPECT_EQ(outcome.logs.size(), 1u) << describe(outcome);
    if (outcome.logs.size() != 1)
        return {};
    const auto log = readLog(outcome.logs.front());
    EXPECT_TRUE(log && log->hasByteOrderMark) << "the log is not UTF-8 with a byte order mark";
    return log ? log->text : std::string();
}

std::vector<std::string> logLinesWithoutTime(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        // A log read straight from disk still has its CRLF line ends.
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // "[%d:%d] "
        if (line.size() > 4 && line[0] == '[') {
            const size_t close = line.find("] ");
            const size_t colon = line.find(':');
            if (close != std::string::npos && colon != std::string::npos && colon < close &&
                line.find_first_not_of("0123456789:", 1) == close) {
                lines.push_back(line.substr(close + 2));
                continue;
            }
        }
        lines.push_back(line);
    }
    return lines;
}

bool hasLogLine(const std::string& text, const std::string& line)
{
    for (const auto& candidate : logLinesWithoutTime(text)) {
        if (candidate == line)
            return true;
    }
    return false;
}

bool hasLogLineStartingWith(const std::string& text, const std::string& prefix)
{
    for (const auto& candidate : logLinesWithoutTime(text)) {
        if (candidate.rfind(prefix, 0) == 0)
            return true;
    }
    return false;
}

std::string describe(const LauncherOutcome& outcome)
{
    std::ostringstream out;
    out << "exit code " << outcome.process.exitCode << " (0x" << std::hex << outcome.process.exitCode << std::dec
        << ")\nstdout: " << outcome.process.standardOutput << "\nstderr: " << outcome.process.standardError
        << "\nlogs: " << outcome.logs.size();
    for (const auto& path : outcome.logs) {
        out << "\n--- " << toUtf8(path) << "\n";
        if (const auto log = readLog(path))
            out << log->text;
    }
    return out.str();
}

std::vector<std::wstring> extractionDirectories(const std::wstring& temp)
{
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((temp + L"\\vxn*.tmp_dir*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return found;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            found.push_back(temp + L"\\" + entry.cFileName);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}
