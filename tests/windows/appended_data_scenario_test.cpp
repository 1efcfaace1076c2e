// A launcher whose appended data is missing or damaged ends with exit code 1 and keeps its
// log, whatever the damage; it never crashes and never reads past what the file holds.
#include "testing/damaged_launcher.h"
#include "testing/launcher_run.h"

#include <gtest/gtest.h>

namespace {

struct DamageCase {
    const char* name;
    Damage damage;
};

const DamageCase kDamageCases[] = {
    {"bare stub", Damage::BareStub},
    {"wrong magic", Damage::WrongMagic},
    {"cut inside the first configuration id", Damage::CutInsideFirstConfigId},
    {"cut inside a configuration value", Damage::CutInsideConfigValue},
    {"configuration length -1", Damage::ConfigLengthMinusOne},
    {"configuration length beyond the file", Damage::ConfigLengthBeyondFile},
    {"message length -1", Damage::MessageLengthMinusOne},
    {"odd message length", Damage::MessageLengthOdd},
    {"cut inside a locale key", Damage::CutInsideLocaleKey},
};

class DamagedAppendedData : public ::testing::TestWithParam<const wchar_t*> {};

} // namespace

// Without a display the message box of the early errors (GUI error mode is still on while
// the data is read) returns at once, so the exit code and the log are what remains visible.
TEST_P(DamagedAppendedData, EndsWithExitCodeOneAndKeepsTheLog)
{
    for (const auto& c : kDamageCases) {
        SCOPED_TRACE(c.name);
        ScratchDirectory scratch;
        const std::wstring temp = scratch.subdirectory(L"tmp");
        const std::wstring launcher = damagedLauncher(GetParam(), c.damage, scratch.path());
        ASSERT_FALSE(launcher.empty());
        const LauncherOutcome outcome = runLauncher(launcher, temp);
        EXPECT_EQ(outcome.process.exitCode, 1u) << describe(outcome);
        EXPECT_EQ(outcome.process.standardError.find("Internal Error"), std::string::npos)
            << "a load error comes before the console error mode can be chosen";
        const std::string log = singleLogText(outcome);
        EXPECT_EQ(countOccurrences(log, "Started executable "), 1) << log;
        if (c.damage == Damage::BareStub || c.damage == Damage::CutInsideFirstConfigId) {
            EXPECT_TRUE(hasLogLineStartingWith(log, "error ")) << log;
        }
    }
}

TEST_P(DamagedAppendedData, IntactLauncherLoadsAndEndsWithExitCodeZero)
{
    ScratchDirectory scratch;
    const std::wstring temp = scratch.subdirectory(L"tmp");
    const std::wstring launcher = damagedLauncher(GetParam(), Damage::None, scratch.path());
    ASSERT_FALSE(launcher.empty());
    const LauncherOutcome outcome = runLauncher(launcher, temp);
    EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
    EXPECT_TRUE(outcome.logs.empty()) << "a normal end deletes the log\n" << describe(outcome);
}

INSTANTIATE_TEST_SUITE_P(Launchers, DamagedAppendedData, ::testing::Values(kSetupStub, kServiceStub),
                         [](const auto& info) { return std::wstring(info.param) == kSetupStub ? "setuplauncher" : "servicelauncher"; });

// Empty tables are a valid record: every lookup is empty, and the launch goes on.
TEST(AppendedData, EmptyConfigurationAndMessageTablesLoad)
{
    for (const wchar_t* stub : {kSetupStub, kServiceStub}) {
        ScratchDirectory scratch;
        const std::wstring temp = scratch.subdirectory(L"tmp");
        sldkpack::LauncherModel model;
        model.fillPayloadEntries = false;
        const std::wstring launcher = buildLauncherFile(stub, model, scratch.path(), L"empty.exe");
        ASSERT_FALSE(launcher.empty());
        const auto layout = describeAppendedData(launcher);
        ASSERT_TRUE(layout);
        EXPECT_TRUE(layout->configEntries.empty());
        const LauncherOutcome outcome = runLauncher(launcher, temp, {}, {{L"SEALDECK_LOG", L"yes"}});
        EXPECT_EQ(outcome.process.exitCode, 0u) << toUtf8(stub) << "\n" << describe(outcome);
        const std::string log = singleLogText(outcome);
        EXPECT_TRUE(hasLogLine(log, "working directory unchanged")) << log;
    }
}
