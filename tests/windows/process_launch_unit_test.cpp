// Starting and awaiting child processes. The test program doubles as the child: it ends at
// once with the code it is given, or sleeps far longer than any wait here.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "launchcore/windows/base/process_launch.h"
#include "launchcore/windows/base/wide_format.h"

namespace {

constexpr wchar_t kChildSwitch[] = L"--process-launch-child=";

struct LaunchChild {
    LaunchChild()
    {
        const wchar_t* found = std::wcsstr(GetCommandLineW(), kChildSwitch);
        if (!found)
            return;
        const wchar_t* mode = found + std::wcslen(kChildSwitch);
        if (std::wcscmp(mode, L"sleep") == 0)
            Sleep(30000);
        ExitProcess(static_cast<UINT>(std::wcstoul(mode, nullptr, 10)));
    }
};
LaunchChild g_launchChild __attribute__((init_priority(101)));

std::wstring selfPath()
{
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

TEST(ProcessLaunch, WaitReportsHowTheChildEnded)
{
    const struct {
        const wchar_t* mode;
        DWORD timeoutMs;
        bool terminate;
        ProcessWaitOutcome outcome;
        DWORD reportedCode;
        bool goneAfterwards;
        DWORD finalCode;
    } cases[] = {
        {L"0", 20000, false, ProcessWaitOutcome::Ended, 0, true, 0},
        // The code of a process still running, returned by one that has ended.
        {L"259", 20000, false, ProcessWaitOutcome::Ended, 259, true, 259},
        {L"3221225477", 20000, false, ProcessWaitOutcome::Ended, 0xC0000005u, true, 0xC0000005u},
        {L"sleep", 300, true, ProcessWaitOutcome::TimedOut, STILL_ACTIVE, true, 7},
        {L"sleep", 300, false, ProcessWaitOutcome::TimedOut, STILL_ACTIVE, false, STILL_ACTIVE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << std::string(c.mode, c.mode + std::wcslen(c.mode)));
        ProcessLaunch launch;
        launch.applicationName = selfPath();
        launch.commandLine = formatWide(L"\"%s\" %s%s", launch.applicationName.c_str(), kChildSwitch, c.mode);
        launch.hidden = true;
        const StartedProcess child = startProcess(launch);
        ASSERT_TRUE(child);
        EXPECT_NE(child.processId, 0u);

        const ProcessWait waited = waitForProcess(child.process.get(), c.timeoutMs, c.terminate, 7);
        EXPECT_EQ(waited.outcome, c.outcome);
        EXPECT_EQ(waited.exitCode, c.reportedCode);
        EXPECT_EQ(WaitForSingleObject(child.process.get(), 0) == WAIT_OBJECT_0, c.goneAfterwards);
        DWORD finalCode = 0;
        ASSERT_TRUE(GetExitCodeProcess(child.process.get(), &finalCode));
        EXPECT_EQ(finalCode, c.finalCode);
        if (!c.goneAfterwards)
            TerminateProcess(child.process.get(), 0);
    }
}

TEST(ProcessLaunch, FailedStartKeepsItsError)
{
    ProcessLaunch launch;
    launch.commandLine = L"\"C:\\no such folder\\nothing.exe\"";
    SetLastError(ERROR_SUCCESS);
    const StartedProcess child = startProcess(launch);
    const DWORD error = GetLastError();
    EXPECT_FALSE(child);
    EXPECT_TRUE(error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND) << error;
    EXPECT_EQ(child.error, error);
}

} // namespace
