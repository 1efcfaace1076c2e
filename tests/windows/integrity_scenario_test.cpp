// The installer's check of its appended data, as a user meets it: intact and switched-off
// checks let the installer go on, a file cut short ends with the internal error "34". The
// corrupted-installation box is read in the dialog tests.
#include "testing/launcher_run.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// An installer whose data for the Java side is trailerSize bytes of a counting pattern.
std::wstring installerWithTrailer(const ScratchDirectory& scratch, size_t trailerSize, bool integrityCheck)
{
    sldkpack::LauncherModel model = basicModel("1");
    model.integrityCheck = integrityCheck;
    model.trailer.resize(trailerSize);
    for (size_t i = 0; i < trailerSize; ++i)
        model.trailer[i] = static_cast<uint8_t>(i * 7 + 3);
    return buildLauncherFile(kSetupStub, model, scratch.path(), L"setup.exe");
}

struct Header {
    uint64_t appendedStart = 0;
    uint32_t crc = 0;
    int64_t coveredLength = 0;
};

Header headerOf(const std::wstring& launcher)
{
    Header header;
    const auto bytes = readFileBytes(launcher);
    const auto layout = bytes ? describeAppendedData(*bytes) : std::nullopt;
    EXPECT_TRUE(layout) << "cannot read back " << toUtf8(launcher);
    if (!layout)
        return header;
    header.appendedStart = layout->appendedStart;
    std::memcpy(&header.crc, bytes->data() + header.appendedStart + 8, 4);
    std::memcpy(&header.coveredLength, bytes->data() + header.appendedStart + 12, 8);
    return header;
}

// A run that keeps its log (the check's lines are read from it). The installers here bring
// no runtime, so a quiet run that gets past the check ends with 83 after the extraction.
LauncherOutcome runKeepingLog(const std::wstring& launcher, const std::wstring& temp,
                              std::vector<std::wstring> arguments)
{
    return runLauncher(launcher, temp, std::move(arguments), {{L"SEALDECK_LOG", L"yes"}});
}

} // namespace

TEST(IntegrityScenario, IntactDataPassesWithBothChecksumsLogged)
{
    ScratchDirectory scratch;
    const std::wstring temp = scratch.subdirectory(L"tmp");
    const std::wstring launcher = installerWithTrailer(scratch, 100000, true);
    ASSERT_FALSE(launcher.empty());
    const Header header = headerOf(launcher);

    const LauncherOutcome outcome = runKeepingLog(launcher, temp, {L"-q"});
    EXPECT_EQ(outcome.process.exitCode, 83u) << describe(outcome);
    const std::string log = singleLogText(outcome);
    EXPECT_TRUE(hasLogLine(log, "extracting files")) << log;
    EXPECT_TRUE(hasLogLine(log, "starting at " + std::to_string(header.appendedStart))) << log;
    EXPECT_TRUE(hasLogLine(log, "verifying integrity length " + std::to_string(header.coveredLength))) << log;
    const std::string crc = std::to_string(header.crc);
    const std::string signedCrc = std::to_string(static_cast<int32_t>(header.crc));
    EXPECT_TRUE(hasLogLine(log, "checksums: " + crc + " " + crc + " " + signedCrc + " " + signedCrc)) << log;
}

// Damage the check would find goes through when the user or the packaging tool switched
// the check off.
TEST(IntegrityScenario, SwitchedOffCheckLetsDamagedDataThrough)
{
    const struct {
        const char* name;
        bool integrityCheck;
        std::vector<std::wstring> arguments;
    } cases[] = {
        {"-nocheck", true, {L"-q", L"-nocheck"}},
        {"-nocheck as the first argument", true, {L"-nocheck", L"-q"}},
        {"flag 0 in the header", false, {L"-q"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDirectory scratch;
        const std::wstring temp = scratch.subdirectory(L"tmp");
        const std::wstring launcher = installerWithTrailer(scratch, 50000, c.integrityCheck);
        ASSERT_FALSE(launcher.empty());
        const Header header = headerOf(launcher);
        ASSERT_TRUE(overwriteBytes(launcher, header.appendedStart + 20 + header.coveredLength - 100, {0x55, 0xAA}));

        const LauncherOutcome outcome = runKeepingLog(launcher, temp, c.arguments);
        EXPECT_EQ(outcome.process.exitCode, 83u) << describe(outcome);
        const std::string log = singleLogText(outcome);
        EXPECT_TRUE(hasLogLine(log, "extracting files")) << log;
        EXPECT_FALSE(hasLogLineStartingWith(log, "verifying integrity")) << log;
        EXPECT_FALSE(hasLogLineStartingWith(log, "checksums:")) << log;
    }
}

// A download cut short is not a damaged file: it ends with the internal error "34" rather
// than with the corrupted-installation box.
TEST(IntegrityScenario, DataCutShortEndsWithInternalError34)
{
    ScratchDirectory scratch;
    const std::wstring temp = scratch.subdirectory(L"tmp");
    const std::wstring launcher = installerWithTrailer(scratch, 200000, true);
    ASSERT_FALSE(launcher.empty());
    const Header header = headerOf(launcher);
    const uint64_t cut = header.appendedStart + 20 + header.coveredLength - 30000;
    ASSERT_TRUE(truncateFile(launcher, cut));

    const LauncherOutcome outcome = runLauncher(launcher, temp, {L"-q"});
    EXPECT_EQ(outcome.process.exitCode, 1u) << describe(outcome);
    const std::string output = outcome.process.standardOutput + outcome.process.standardError;
    EXPECT_NE(output.find("An internal error occurred (error code: 34)"), std::string::npos) << output;
    ASSERT_EQ(outcome.logs.size(), 1u) << "an error keeps the log";
    const auto log = readLog(outcome.logs.front());
    ASSERT_TRUE(log);
    const uint64_t readable = cut - header.appendedStart - 20;
    EXPECT_TRUE(hasLogLine(log->text, "ERROR: check ReadFile failed 0 0 " + std::to_string(readable))) << log->text;
}

// The CRC of no bytes is 0: an empty covered range passes only when the stored value is 0
// (the other value is shown by the dialog tests).
TEST(IntegrityScenario, EmptyCoveredRangePassesWithStoredCrcZero)
{
    ScratchDirectory scratch;
    const std::wstring temp = scratch.subdirectory(L"tmp");
    const std::wstring launcher = installerWithTrailer(scratch, 1000, true);
    ASSERT_FALSE(launcher.empty());
    const Header header = headerOf(launcher);
    ASSERT_TRUE(overwriteBytes(launcher, header.appendedStart + 8, std::vector<uint8_t>(12, 0)));

    const LauncherOutcome outcome = runKeepingLog(launcher, temp, {L"-q"});
    EXPECT_EQ(outcome.process.exitCode, 83u) << describe(outcome);
    EXPECT_TRUE(hasLogLine(singleLogText(outcome), "checksums: 0 0 0 0"));
}
