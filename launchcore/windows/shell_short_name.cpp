#include "launchcore/windows/shell_short_name.h"

#include <windows.h>

#include <utility>

#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/base/process_launch.h"
#include "launchcore/windows/base/system_text.h"
#include "launchcore/windows/base/wide_format.h"

namespace {

constexpr DWORD kOutputLimit = 6000;
// End of file on the pipe can come before the process object has ended; without a grace
// period a correct answer would be thrown away at random.
constexpr DWORD kExitWaitMilliseconds = 5000;
// Shorter output cannot hold a drive, a name and a line break.
constexpr DWORD kMinimumOutput = 5;

} // namespace

std::string shortNameFromCommand(std::wstring commandLine)
{
    SECURITY_ATTRIBUTES security = {};
    security.nLength = sizeof security;
    security.bInheritHandle = TRUE;
    unique_handle readEnd;
    unique_handle writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &security, 0)) {
        logLine(L"CreatePipe error (%d)", static_cast<int>(GetLastError()));
        return {};
    }
    // The child must inherit only the write end, or it would hold its own end of file open.
    if (!SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0)) {
        logLine(L"SetHandleInformation error (%d)", static_cast<int>(GetLastError()));
        return {};
    }

    ProcessLaunch launch;
    launch.commandLine = std::move(commandLine);
    launch.standardOutput = writeEnd.get();
    launch.standardError = writeEnd.get();
    launch.creationFlags = CREATE_NO_WINDOW;
    launch.inheritHandles = true;

    logLine(L"executing %s", launch.commandLine.c_str());
    const StartedProcess child = startProcess(launch);
    if (!child) {
        logLine(L"could not execute cmd.exe");
        logLine(L"CreateProcess error (%d)", static_cast<int>(child.error));
        return {};
    }
    // Our copy of the write end would keep the pipe open after the child has finished.
    writeEnd.reset();

    // One byte more than is read, so the text is always terminated.
    std::string output(kOutputLimit + 1, '\0');
    DWORD total = 0;
    while (total < kOutputLimit) {
        DWORD count = 0;
        if (!ReadFile(readEnd.get(), output.data() + total, kOutputLimit - total, &count, nullptr) || count == 0)
            break;
        total += count;
    }
    output.resize(total);
    logLine(L"finished reading from cmd.exe %d \"%S\"", static_cast<int>(total), output.c_str());
    readEnd.reset();

    const ProcessWait waited = waitForProcess(child.process.get(), kExitWaitMilliseconds, true);
    logLine(L"Exit Code %d", static_cast<int>(waited.exitCode));
    if (!waited.ended()) {
        logLine(L"Terminating process");
        return {};
    }
    const DWORD exitCode = waited.exitCode;
    if (exitCode != 0 || total <= kMinimumOutput)
        return {};

    const std::size_t lineEnd = output.find_first_of("\r\n");
    if (lineEnd == std::string::npos)
        return {};
    std::string line = output.substr(0, lineEnd);
    // The caller hands the text to 8-bit file APIs, which would stop at an embedded NUL and
    // check a different path than the one returned.
    if (const std::size_t nul = line.find('\0'); nul != std::string::npos)
        line.resize(nul);
    logLine(L"Using %S", line.c_str());
    return line;
}

std::string shortNameFromShell(const std::wstring& path)
{
    std::wstring windows = windowsDirectory();
    if (!windows.empty() && windows.back() == L'\\')
        windows.pop_back();
    if (windows.empty()) {
        logLine(L"could not execute cmd.exe");
        return {};
    }
    // The program path is quoted: on a terminal server the Windows directory can be a
    // per-user folder with blanks in its name.
    return shortNameFromCommand(formatWide(
        L"\"%s\\system32\\cmd.exe\" /C for %%I in (\"%s\") do @echo %%~sI", windows.c_str(), path.c_str()));
}
