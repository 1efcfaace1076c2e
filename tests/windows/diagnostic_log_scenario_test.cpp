// The diagnostic log as a user or support engineer meets it: where it appears, its name,
// its header, and whether it is still there after the launcher ended.
#include "testing/launcher_run.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

std::wstring validLauncher(const wchar_t* stub, const std::wstring& directory, const std::string& kind = "4")
{
    return buildLauncherFile(stub, basicModel(kind), directory, stub == kSetupStub ? L"setup.exe" : L"service.exe");
}

} // namespace

TEST(DiagnosticLog, KeptOnlyForTheExactValueYesOfEitherVariable)
{
    const struct {
        const wchar_t* name;
        const wchar_t* value;
        bool kept;
    } cases[] = {
        {L"SEALDECK_LOG", nullptr, false}, {L"SEALDECK_LOG", L"yes", true}, {L"VEXON_LOG", L"yes", true},
        {L"SEALDECK_LOG", L"YES", false},  {L"VEXON_LOG", L"Yes", false},   {L"SEALDECK_LOG", L"1", false},
        {L"SEALDECK_LOG", L"yes ", false}, {L"VEXON_LOG", L"true", false},
    };
    for (const wchar_t* stub : {kSetupStub, kServiceStub}) {
        ScratchDirectory scratch;
        const std::wstring launcher = validLauncher(stub, scratch.path());
        ASSERT_FALSE(launcher.empty());
        int n = 0;
        for (const auto& c : cases) {
            SCOPED_TRACE(toUtf8(stub) + " " + toUtf8(c.name) + "=" + (c.value ? toUtf8(c.value) : "(unset)"));
            const std::wstring temp = scratch.subdirectory(L"tmp" + std::to_wstring(++n));
            std::vector<std::pair<std::wstring, std::wstring>> environment;
            if (c.value)
                environment.emplace_back(c.name, c.value);
            const LauncherOutcome outcome = runLauncher(launcher, temp, {}, environment);
            EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
            EXPECT_EQ(outcome.logs.size(), c.kept ? 1u : 0u) << describe(outcome);
        }
    }
}

TEST(DiagnosticLog, HeaderNamesTheExecutableAndLinesCarryTheTimePrefix)
{
    ScratchDirectory scratch;
    const std::wstring temp = scratch.subdirectory(L"tmp");
    const std::wstring launcher = validLauncher(kSetupStub, scratch.path());
    const LauncherOutcome outcome = runLauncher(launcher, temp, {}, {{L"SEALDECK_LOG", L"yes"}});
    ASSERT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
    const std::string log = singleLogText(outcome);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(outcome.logs.front(), temp + L"\\sldk_nlog_1.log");

    // "Started executable %s at %S\n" with a ctime text, which brings its own line break.
    const std::string header = "Started executable " + toUtf8(launcher) + " at ";
    ASSERT_EQ(log.compare(0, header.size(), header), 0) << log;
    const std::regex ctimeLine(R"(^Started executable .* at \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4}\n\n)");
    EXPECT_TRUE(std::regex_search(log, ctimeLine)) << log;

    const size_t body = log.find("\n\n") + 2;
    std::istringstream lines(log.substr(body));
    const std::regex prefixed(R"(^\[\d+:\d+\] .*)");
    int count = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty())
            continue; // the readers' own "error %d %d\n" lines leave empty ones behind
        ++count;
        EXPECT_TRUE(std::regex_match(line, prefixed)) << line;
    }
    EXPECT_GT(count, 3);
}

TEST(DiagnosticLog, TakesTheFirstFreeNumberAndLeavesOlderLogsAlone)
{
    ScratchDirectory scratch;
    const std::wstring temp = scratch.subdirectory(L"tmp");
    ASSERT_TRUE(writeTextFile(temp + L"\\sldk_nlog_1.log", "first"));
    ASSERT_TRUE(writeTextFile(temp + L"\\sldk_nlog_2.log", "second"));
    ASSERT_TRUE(writeTextFile(temp + L"\\sldk_nlog_4.log", "fourth"));
    const std::wstring launcher = validLauncher(kServiceStub, scratch.path());
    const LauncherOutcome outcome = runLauncher(launcher, temp, {}, {{L"SEALDECK_LOG", L"yes"}});
    ASSERT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
    ASSERT_EQ(outcome.logs.size(), 4u) << describe(outcome);
    const auto third = readLog(temp + L"\\sldk_nlog_3.log");
    ASSERT_TRUE(third);
    EXPECT_EQ(third->text.rfind("Started executable ", 0), 0u);
    EXPECT_EQ(readLog(temp + L"\\sldk_nlog_1.log")->text, "first");
    EXPECT_EQ(readLog(temp + L"\\sldk_nlog_2.log")->text, "second");
    EXPECT_EQ(readLog(temp + L"\\sldk_nlog_4.log")->text, "fourth");
}

// Launchers that start together (a double click that repeats, parallel installers) must
// not share a log name: each one writes and deletes only its own.
TEST(DiagnosticLog, TenLaunchersStartedAtOnceGetTenDistinctLogs)
{
    ScratchDirectory scratch;
    const std::wstring temp = scratch.subdirectory(L"tmp");
    const std::wstring setup = validLauncher(kSetupStub, scratch.path(), "5");
    const std::wstring service = validLauncher(kServiceStub, scratch.path());
    ASSERT_FALSE(setup.empty());
    ASSERT_FALSE(service.empty());
    const ProcessOptions options = launcherOptions(temp, {}, {{L"SEALDECK_LOG", L"yes"}});
    std::vector<RunningProcess> running;
    for (int i = 0; i < 10; ++i) {
        running.push_back(startProcess(i % 2 ? service : setup, options));
        ASSERT_TRUE(running.back().started()) << running.back().startError();
    }
    for (auto& process : running) {
        const ProcessResult result = process.wait(kLauncherTimeoutMs);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitCode, 0u);
    }
    const auto logs = listLogs(temp);
    EXPECT_EQ(logs.size(), 10u);
    for (const auto& path : logs) {
        const auto log = readLog(path);
        ASSERT_TRUE(log) << toUtf8(path);
        EXPECT_EQ(countOccurrences(log->text, "Started executable "), 1) << toUtf8(path) << "\n" << log->text;
        EXPECT_TRUE(hasLogLine(log->text, "working directory unchanged")) << toUtf8(path) << "\n" << log->text;
    }
}
