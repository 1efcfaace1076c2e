// The start-up both launchers share: the keep-log switch, the manual temporary directory,
// the working directory of the configuration, and a clean end once start-up is done.
#include "testing/launcher_run.h"

#include <gtest/gtest.h>

namespace {

std::wstring launcherWith(const wchar_t* stub, const std::wstring& directory, const std::string& kind,
                          const std::string& workingDirectory = "")
{
    sldkpack::LauncherModel model = basicModel(kind);
    sldkpack::setConfig(model, 146, workingDirectory);
    return buildLauncherFile(stub, model, directory, stub == kSetupStub ? L"setup.exe" : L"service.exe");
}

} // namespace

TEST(Startup, BothLaunchersEndWithExitCodeZeroAfterStartup)
{
    const struct {
        const wchar_t* stub;
        const char* kind;
    } cases[] = {{kSetupStub, "5"}, {kSetupStub, "1"}, {kSetupStub, "4"}, {kSetupStub, ""},
                 {kServiceStub, "4"}, {kServiceStub, "5"}, {kServiceStub, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(toUtf8(c.stub) + " kind \"" + c.kind + "\"");
        ScratchDirectory scratch;
        const std::wstring temp = scratch.subdirectory(L"tmp");
        const std::wstring launcher = launcherWith(c.stub, scratch.path(), c.kind);
        ASSERT_FALSE(launcher.empty());
        const LauncherOutcome outcome = runLauncher(launcher, temp);
        EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
        EXPECT_TRUE(outcome.process.standardError.empty()) << describe(outcome);
        EXPECT_TRUE(outcome.logs.empty()) << describe(outcome);
    }
}

// Only directly after the program name; anywhere else it is an argument of the application.
// Without a display the keep-log question returns at once, so the kept log is what shows.
// The service launcher leaves every switch to its application.
TEST(Startup, KeepLogSwitchIsRecognisedOnlyAsTheFirstArgument)
{
    const struct {
        std::vector<std::wstring> arguments;
        bool kept;
    } cases[] = {
        {{L"-create-sldk-log"}, true},
        {{L"-create-vxn-log"}, true},
        {{L"/create-sldk-log"}, true},
        {{L"/create-vxn-log"}, true},
        {{L"-create-sldk-log", L"more"}, true},
        {{L"first", L"-create-sldk-log"}, false},
        {{L"-CREATE-SLDK-LOG"}, false},
        {{L"--create-sldk-log"}, false},
        {{L"-create-sldk-log "}, false},
    };
    for (const wchar_t* stub : {kSetupStub, kServiceStub}) {
        ScratchDirectory scratch;
        const std::wstring launcher = launcherWith(stub, scratch.path(), "4");
        ASSERT_FALSE(launcher.empty());
        int n = 0;
        for (const auto& c : cases) {
            std::string trace = toUtf8(stub);
            for (const auto& a : c.arguments)
                trace.append(" [").append(toUtf8(a)).append("]");
            SCOPED_TRACE(trace);
            const std::wstring temp = scratch.subdirectory(L"tmp" + std::to_wstring(++n));
            const LauncherOutcome outcome = runLauncher(launcher, temp, c.arguments);
            EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
            const bool kept = c.kept && stub == kSetupStub;
            EXPECT_EQ(outcome.logs.size(), kept ? 1u : 0u) << describe(outcome);
        }
    }
}

TEST(Startup, ManualTemporaryDirectoryIsCheckedAndLogged)
{
    ScratchDirectory scratch;
    const std::wstring launcher = launcherWith(kSetupStub, scratch.path(), "5");
    ASSERT_FALSE(launcher.empty());
    const std::wstring usable = scratch.subdirectory(L"manual dir");
    const std::wstring missing = scratch.file(L"no such dir");
    const struct {
        const char* name;
        std::vector<std::wstring> arguments;
        std::string expectedLine; // empty: no line about a manual directory
    } cases[] = {
        {"usable", {L"-temp", usable}, "Using manual temp dir " + toUtf8(usable) + " ("},
        {"usable, slash form, later position", {L"x", L"/temp", usable}, "Using manual temp dir " + toUtf8(usable) + " ("},
        {"missing", {L"-temp", missing}, "Manual temp dir not usable " + toUtf8(missing) + " ("},
        {"last element", {L"-temp"}, ""},
        {"empty value", {L"-temp", L""}, ""},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring temp = scratch.subdirectory(L"tmp" + std::to_wstring(++n));
        const LauncherOutcome outcome = runLauncher(launcher, temp, c.arguments, {{L"SEALDECK_LOG", L"yes"}});
        EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
        // The log is created by the first log line, which comes before the switch is read,
        // so it stays in the default temporary directory even when the manual one is usable.
        const std::string log = singleLogText(outcome);
        if (c.expectedLine.empty())
            EXPECT_FALSE(hasLogLineStartingWith(log, "Using manual temp dir") ||
                         hasLogLineStartingWith(log, "Manual temp dir not usable")) << log;
        else
            EXPECT_TRUE(hasLogLineStartingWith(log, c.expectedLine)) << log;
        EXPECT_TRUE(listLogs(usable).empty()) << "a log in the manual directory";
    }
}

TEST(Startup, ServiceLauncherIgnoresTheManualTemporaryDirectorySwitch)
{
    ScratchDirectory scratch;
    const std::wstring temp = scratch.subdirectory(L"tmp");
    const std::wstring manual = scratch.subdirectory(L"manual");
    const std::wstring launcher = launcherWith(kServiceStub, scratch.path(), "4");
    const LauncherOutcome outcome = runLauncher(launcher, temp, {L"-temp", manual}, {{L"SEALDECK_LOG", L"yes"}});
    EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
    const std::string log = singleLogText(outcome);
    EXPECT_FALSE(hasLogLineStartingWith(log, "Using manual temp dir")) << log;
    EXPECT_FALSE(hasLogLineStartingWith(log, "Manual temp dir not usable")) << log;
    EXPECT_TRUE(listLogs(manual).empty());
}

TEST(Startup, WorkingDirectoryComesFromTheConfiguration)
{
    for (const wchar_t* stub : {kSetupStub, kServiceStub}) {
        ScratchDirectory scratch;
        const std::wstring base = scratch.path();
        scratch.subdirectory(L"work");
        scratch.subdirectory(L"Mixed Case");
        const std::wstring absolute = scratch.subdirectory(L"absolute");
        const struct {
            std::string entry;
            std::wstring expected; // empty: "working directory unchanged"
            bool exists;
        } cases[] = {
            {"", L"", true},
            {".", base, true},
            {"work", base + L"\\work", true},
            {"Mixed Case", base + L"\\Mixed Case", true},
            {".\\work\\..\\work", base + L"\\work", true},
            {toUtf8(absolute), absolute, true},
            {"missing", base + L"\\missing", false},
        };
        int n = 0;
        for (const auto& c : cases) {
            SCOPED_TRACE(toUtf8(stub) + " entry \"" + c.entry + "\"");
            const std::wstring temp = scratch.subdirectory(L"tmp" + std::to_wstring(++n));
            const std::wstring launcher = launcherWith(stub, base, "4", c.entry);
            ASSERT_FALSE(launcher.empty());
            const LauncherOutcome outcome = runLauncher(launcher, temp, {}, {{L"SEALDECK_LOG", L"yes"}});
            // A working directory that cannot be set is logged, and the launch goes on.
            EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
            const std::string log = singleLogText(outcome);
            if (c.expected.empty()) {
                EXPECT_TRUE(hasLogLine(log, "working directory unchanged")) << log;
                continue;
            }
            EXPECT_TRUE(hasLogLine(log, "change working directory to " + toUtf8(c.expected))) << log;
            const std::string failure = "ERROR: could not change working directory to " + toUtf8(c.expected) + " (";
            EXPECT_EQ(hasLogLineStartingWith(log, failure), !c.exists) << log;
        }
    }
}
