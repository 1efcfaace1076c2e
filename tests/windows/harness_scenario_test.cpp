// The test harness itself: what the scenario tests rely on when they start a launcher.
#include "testing/launcher_builder.h"
#include "testing/process_runner.h"

#include <gtest/gtest.h>

#include <shellapi.h>

namespace {

std::wstring systemProgram(const wchar_t* name)
{
    wchar_t directory[MAX_PATH + 1];
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH + 1);
    EXPECT_TRUE(length > 0 && length <= MAX_PATH);
    return std::wstring(directory, length) + L"\\" + name;
}

ProcessResult runCmd(const std::wstring& script, const ProcessOptions& base = {})
{
    ProcessOptions options = base;
    options.rawArgumentText = L"/c " + script;
    return runProcess(systemProgram(L"cmd.exe"), options);
}

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

TEST(ProcessRunner, QuotedArgumentsComeBackUnchangedFromCommandLineToArgv)
{
    const std::vector<std::wstring> arguments = {
        L"plain", L"", L"with space", L"tab\there", L"quote\"inside", L"trailing\\",
        L"trailing space\\", L"C:\\dir with space\\", L"\\\\server\\share", L"back\\\\\"quote",
        L"\"", L"-Dx=\"a b\"", L"ümlaut €",
    };
    ProcessOptions options;
    options.arguments = arguments;
    const std::wstring line = buildCommandLine(L"C:\\some dir\\prog.exe", options);
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(line.c_str(), &count);
    ASSERT_NE(argv, nullptr);
    ASSERT_EQ(count, static_cast<int>(arguments.size()) + 1);
    EXPECT_EQ(std::wstring(argv[0]), L"C:\\some dir\\prog.exe");
    for (size_t i = 0; i < arguments.size(); ++i)
        EXPECT_EQ(std::wstring(argv[i + 1]), arguments[i]) << "argument " << i;
    LocalFree(argv);
}

TEST(ProcessRunner, EnvironmentBlockIsSortedWithOverridesAndRemovals)
{
    SetEnvironmentVariableW(L"SLDK_HARNESS_GONE", L"present");
    const std::wstring block = buildEnvironmentBlock(
        {{L"SLDK_HARNESS_NEW", L"v1"}, {L"sldk_harness_gone", L""}, {L"Path", L"C:\\x"}});
    SetEnvironmentVariableW(L"SLDK_HARNESS_GONE", nullptr);
    ASSERT_GE(block.size(), 2u);
    EXPECT_EQ(block.substr(block.size() - 2), std::wstring(L"\0\0", 2));
    std::vector<std::wstring> entries;
    for (size_t at = 0; at < block.size() && block[at]; at += entries.back().size() + 1)
        entries.emplace_back(block.c_str() + at);
    std::wstring previous;
    int paths = 0;
    for (const auto& entry : entries) {
        std::wstring name = entry.substr(0, entry.find(L'=', 1));
        CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
        EXPECT_LT(previous, name) << "not sorted or repeated: " << toUtf8(entry);
        previous = name;
        EXPECT_NE(name, L"SLDK_HARNESS_GONE");
        if (name == L"PATH") {
            ++paths;
            EXPECT_EQ(entry, L"Path=C:\\x");
        }
    }
    EXPECT_EQ(paths, 1);
    EXPECT_NE(std::find(entries.begin(), entries.end(), L"SLDK_HARNESS_NEW=v1"), entries.end());
}

TEST(ProcessRunner, ReportsTheFull32BitExitCode)
{
    const struct {
        const wchar_t* code;
        DWORD expected;
    } cases[] = {{L"0", 0}, {L"1", 1}, {L"300", 300}, {L"83", 83}, {L"-1073741819", 0xC0000005u}};
    for (const auto& c : cases) {
        const ProcessResult result = runCmd(std::wstring(L"exit ") + c.code);
        ASSERT_TRUE(result.started) << result.startError;
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitCode, c.expected) << toUtf8(c.code);
    }
}

TEST(ProcessRunner, CapturesBothStreamsEnvironmentAndWorkingDirectory)
{
    ScratchDirectory scratch;
    ProcessOptions options;
    options.environment = {{L"SLDK_HARNESS_VALUE", L"fifty five"}};
    options.workingDirectory = scratch.path();
    const ProcessResult result = runCmd(L"echo out %SLDK_HARNESS_VALUE%& echo err 1>&2& cd", options);
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_NE(result.standardOutput.find("out fifty five"), std::string::npos) << result.standardOutput;
    EXPECT_NE(result.standardOutput.find(toUtf8(scratch.path())), std::string::npos) << result.standardOutput;
    EXPECT_EQ(result.standardOutput.find("err"), std::string::npos);
    EXPECT_EQ(trimmed(result.standardError), "err");
}

TEST(ProcessRunner, FeedsStandardInputAndEndsIt)
{
    ProcessOptions options;
    options.standardInput = "first line\r\n";
    const ProcessResult result = runCmd(L"set /p LINE=& call echo got %^LINE%", options);
    ASSERT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_NE(result.standardOutput.find("got first line"), std::string::npos) << result.standardOutput;
}

TEST(ProcessRunner, TerminatesAChildThatOutlivesTheTimeout)
{
    ProcessOptions options;
    options.timeoutMs = 300;
    // Waits for a line that never comes: the pipe stays open until the runner gives up.
    options.standardInput.clear();
    const ULONGLONG start = GetTickCount64();
    const ProcessResult result = runCmd(L"ping -n 30 127.0.0.1 >nul", options);
    ASSERT_TRUE(result.started);
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0xDEADu);
    EXPECT_LT(GetTickCount64() - start, 5000u);
}

TEST(ProcessRunner, ReportsAProgramThatCannotStart)
{
    const ProcessResult result = runProcess(L"C:\\no\\such\\program.exe");
    EXPECT_FALSE(result.started);
    EXPECT_NE(result.startError, 0u);
}

TEST(LauncherBuilder, LogReaderStripsTheByteOrderMarkAndCarriageReturns)
{
    ScratchDirectory scratch;
    ASSERT_TRUE(writeTextFile(scratch.file(L"sldk_nlog_2.log"), "\xEF\xBB\xBFStarted\r\nline\n"));
    ASSERT_TRUE(writeTextFile(scratch.file(L"sldk_nlog_10.log"), "plain"));
    ASSERT_TRUE(writeTextFile(scratch.file(L"sldk_nlog_1.log"), ""));
    ASSERT_TRUE(writeTextFile(scratch.file(L"other.log"), ""));
    const auto logs = listLogs(scratch.path());
    ASSERT_EQ(logs.size(), 3u);
    EXPECT_EQ(logs[0], scratch.file(L"sldk_nlog_1.log"));
    EXPECT_EQ(logs[1], scratch.file(L"sldk_nlog_2.log"));
    EXPECT_EQ(logs[2], scratch.file(L"sldk_nlog_10.log"));
    const auto withBom = readLog(logs[1]);
    ASSERT_TRUE(withBom);
    EXPECT_TRUE(withBom->hasByteOrderMark);
    EXPECT_EQ(withBom->text, "Started\nline\n");
    const auto without = readLog(logs[2]);
    ASSERT_TRUE(without);
    EXPECT_FALSE(without->hasByteOrderMark);
}

TEST(LauncherBuilder, LayoutFindsEveryFieldOfTheAppendedData)
{
    ScratchDirectory scratch;
    sldkpack::LauncherModel model = basicModel("4");
    sldkpack::setConfig(model, 146, "work");
    model.localeBlocks.push_back({"de", {{1000, u"Fehler"}}});
    const std::wstring path = buildLauncherFile(kServiceStub, model, scratch.path(), L"layout.exe");
    ASSERT_FALSE(path.empty());
    const auto bytes = readFileBytes(path);
    ASSERT_TRUE(bytes);
    const auto layout = describeAppendedData(*bytes);
    ASSERT_TRUE(layout);
    EXPECT_EQ(bytes->size() % 512, 0u);
    EXPECT_EQ((*bytes)[layout->appendedStart], 0xD5);
    EXPECT_EQ((*bytes)[layout->appendedStart + 3], 0xE8);
    EXPECT_EQ(layout->configStart, layout->appendedStart + 20);
    bool found146 = false;
    for (const auto& entry : layout->configEntries) {
        if (entry.id == 146) {
            found146 = true;
            EXPECT_EQ(entry.length, 4);
            EXPECT_EQ(std::string(bytes->begin() + entry.lengthOffset + 4, bytes->begin() + entry.lengthOffset + 8), "work");
        }
    }
    EXPECT_TRUE(found146);
    EXPECT_GT(layout->messageEntries.size(), 20u);
    EXPECT_LT(layout->localeStart, layout->payloadStart);
}
