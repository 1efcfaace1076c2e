// The command processor's short-name answer and the child-process worker behind it. The
// test program doubles as a child that closes its output before it ends, which cmd.exe
// cannot do: it keeps its standard handles until it exits.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/shell_short_name.h"
#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/base/wide_format.h"

namespace {

constexpr wchar_t kChildSwitch[] = L"--short-name-child=";

// Child modes, chosen by the switch above: print a line, close the output, then end with 0
// after 1 s ("late") or hold a named event for 10 s ("hang:<event name>").
struct ChildMode {
    ChildMode()
    {
        const wchar_t* found = std::wcsstr(GetCommandLineW(), kChildSwitch);
        if (!found)
            return;
        const std::wstring mode = found + std::wcslen(kChildSwitch);
        HANDLE hold = nullptr;
        if (mode.rfind(L"hang:", 0) == 0)
            hold = CreateEventW(nullptr, TRUE, FALSE, mode.substr(5).c_str());
        const char line[] = "C:\\late\\child.exe\r\n";
        DWORD written = 0;
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
        WriteFile(out, line, sizeof line - 1, &written, nullptr);
        CloseHandle(out);
        if (err != out)
            CloseHandle(err);
        // The console host started for a windowless console child can hold inherited
        // copies of the pipe; letting go of the console lets it end.
        FreeConsole();
        Sleep(hold ? 10000 : 1000);
        ExitProcess(0);
    }
};
// Ahead of every other initialiser, so a child leaves nothing behind (no log, no folders).
ChildMode g_childMode __attribute__((init_priority(101)));

std::wstring selfPath()
{
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return path;
}

std::wstring windowsDirectory()
{
    wchar_t windows[MAX_PATH + 1];
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH + 1);
    EXPECT_TRUE(length > 0 && length <= MAX_PATH);
    return length > 0 && length <= MAX_PATH ? std::wstring(windows, length) : std::wstring();
}

std::wstring cmdCommand(const std::wstring& script)
{
    return formatWide(L"\"%s\\system32\\cmd.exe\" /C ", windowsDirectory().c_str()) + script;
}

std::vector<std::string> logLinesFrom(size_t firstByte)
{
    std::vector<std::string> lines;
    const wchar_t* path = logPath();
    if (!path)
        return lines;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return lines;
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    for (size_t start = firstByte, end; start < bytes.size() && (end = bytes.find("\r\n", start)) != std::string::npos;
         start = end + 2) {
        // Past the "[s:ms] " prefix.
        const size_t text = bytes.find("] ", start);
        lines.push_back(text != std::string::npos && text < end ? bytes.substr(text + 2, end - text - 2)
                                                               : bytes.substr(start, end - start));
    }
    return lines;
}

size_t logSize()
{
    logLine(L"-- mark --");
    WIN32_FILE_ATTRIBUTE_DATA data;
    const wchar_t* path = logPath();
    if (!path || !GetFileAttributesExW(path, GetFileExInfoStandard, &data))
        return 0;
    return data.nFileSizeLow;
}

bool contains(const std::vector<std::string>& lines, const std::string& line)
{
    for (const std::string& l : lines)
        if (l == line)
            return true;
    return false;
}

bool containsStart(const std::vector<std::string>& lines, const std::string& start)
{
    for (const std::string& l : lines)
        if (l.rfind(start, 0) == 0)
            return true;
    return false;
}

TEST(ShellShortName, FirstLineOfTheChildsOutput)
{
    const std::string z5999(5999, 'Z');
    const std::string z6000(6000, 'Z');
    const std::string z5990(5990, 'Z');
    const struct {
        std::string script;
        std::string expected;
        const char* why;
    } cases[] = {
        {"echo C:\\PROGRA~1\\app.exe", "C:\\PROGRA~1\\app.exe", "one line, its break dropped"},
        {"(echo first line& echo second line)", "first line", "only the first line"},
        {"echo abcd", "abcd", "six bytes with the break"},
        {"echo abc", "", "five bytes are too few"},
        {"exit 0", "", "no output"},
        {"(echo C:\\x\\app.exe& exit 3)", "", "a non-zero exit code"},
        {"(echo C:\\x\\app.exe& exit 1)", "", "exit code 1"},
        {"echo " + z5999, z5999, "the break is the 6000th byte"},
        {"echo " + z6000, "", "the break lies beyond the bytes read"},
        {"(echo " + z5990 + "& echo " + std::string(1000, 'Y') + ")", z5990, "7000 bytes, the line in the first 6000"},
        {"echo " + std::string(7000, 'Z'), "", "7000 bytes without a break in the first 6000"},
    };
    for (const auto& c : cases) {
        const std::wstring command = cmdCommand(widenAnsi(c.script));
        const std::string result = shortNameFromCommand(command);
        EXPECT_EQ(result.size(), c.expected.size()) << c.why;
        EXPECT_TRUE(result == c.expected) << c.why << ": \"" << result.substr(0, 60) << "\"";
    }
}

TEST(ShellShortName, LogsWhatItRanAndRead)
{
    const size_t mark = logSize();
    EXPECT_EQ(shortNameFromCommand(cmdCommand(L"(echo C:\\dir\\file.exe& exit 2)")), "");
    EXPECT_EQ(shortNameFromCommand(cmdCommand(L"echo C:\\dir\\file.exe")), "C:\\dir\\file.exe");
    EXPECT_EQ(shortNameFromCommand(cmdCommand(L"echo " + std::wstring(6500, L'Q'))), "");
    EXPECT_EQ(shortNameFromCommand(L"\"C:\\no such folder\\nothing.exe\""), "");

    const std::vector<std::string> lines = logLinesFrom(mark);
    const std::string executing = "executing " + narrowAnsi(cmdCommand(L"echo C:\\dir\\file.exe"));
    EXPECT_TRUE(contains(lines, executing)) << executing;
    // The bytes read end with the child's own line break.
    EXPECT_TRUE(containsStart(lines, "finished reading from cmd.exe 17 \"C:\\dir\\file.exe\r"));
    EXPECT_TRUE(contains(lines, "Exit Code 2"));
    EXPECT_TRUE(contains(lines, "Exit Code 0"));
    EXPECT_TRUE(contains(lines, "Using C:\\dir\\file.exe"));
    // A full buffer is still terminated: the logged text stops at the 6000 bytes read.
    EXPECT_TRUE(contains(lines, "finished reading from cmd.exe 6000 \"" + std::string(6000, 'Q') + "\""));
    EXPECT_TRUE(contains(lines, "could not execute cmd.exe"));
}

TEST(ShellShortName, ChildThatEndsAfterClosingItsOutputIsAwaited)
{
    const auto start = std::chrono::steady_clock::now();
    const std::string result = shortNameFromCommand(formatWide(L"\"%s\" %slate", selfPath().c_str(), kChildSwitch));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result, "C:\\late\\child.exe");
    EXPECT_GE(elapsed, std::chrono::milliseconds(900));
}

TEST(ShellShortName, ChildStillRunningAfterTheWaitIsTerminated)
{
    const std::wstring event = formatWide(L"Local\\sldk-short-name-hang-%lu", GetCurrentProcessId());
    const size_t mark = logSize();
    const auto start = std::chrono::steady_clock::now();
    const std::string result =
        shortNameFromCommand(formatWide(L"\"%s\" %shang:%s", selfPath().c_str(), kChildSwitch, event.c_str()));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result, "");
    EXPECT_GE(elapsed, std::chrono::milliseconds(4500));
    EXPECT_LT(elapsed, std::chrono::milliseconds(9000));

    const std::vector<std::string> lines = logLinesFrom(mark);
    EXPECT_TRUE(contains(lines, "Exit Code 259"));
    EXPECT_TRUE(contains(lines, "Terminating process"));

    // The child's event lives as long as the child does.
    bool gone = false;
    for (int attempt = 0; attempt < 40 && !gone; ++attempt) {
        HANDLE held = OpenEventW(SYNCHRONIZE, FALSE, event.c_str());
        gone = held == nullptr;
        if (held) {
            CloseHandle(held);
            Sleep(50);
        }
    }
    EXPECT_TRUE(gone) << "the child is still running";
}

TEST(ShellShortName, CommandProcessorNamesAnExistingFile)
{
    wchar_t base[MAX_PATH + 1];
    const DWORD baseLength = GetTempPathW(MAX_PATH + 1, base);
    ASSERT_TRUE(baseLength > 0 && baseLength <= MAX_PATH);
    const std::wstring directory = formatWide(L"%sshort name test %lu", base, GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(directory.c_str(), nullptr));
    const std::wstring name = L"a rather long file name.txt";
    const std::wstring file = directory + L"\\" + name;
    HANDLE created = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(created, INVALID_HANDLE_VALUE);
    CloseHandle(created);

    const size_t mark = logSize();
    const std::string result = shortNameFromShell(file);
    const std::vector<std::string> lines = logLinesFrom(mark);

    EXPECT_FALSE(result.empty());
    EXPECT_EQ(result.find_first_of("\r\n"), std::string::npos);
    // Some systems shorten every component, some (Wine) only the folders.
    const std::string last = result.substr(result.find_last_of('\\') + 1);
    EXPECT_TRUE(last == narrowAnsi(name) || (last.find('~') != std::string::npos && last.size() <= 12)) << result;
    EXPECT_NE(GetFileAttributesA(result.c_str()), INVALID_FILE_ATTRIBUTES) << result;
    EXPECT_TRUE(contains(lines, "Using " + result));

    const std::string executing = narrowAnsi(formatWide(L"executing \"%s\\system32\\cmd.exe\" /C for %%I in (\"%s\") do @echo %%~sI",
        windowsDirectory().c_str(), file.c_str()));
    EXPECT_TRUE(contains(lines, executing)) << executing;

    DeleteFileW(file.c_str());
    RemoveDirectoryW(directory.c_str());
}

} // namespace
