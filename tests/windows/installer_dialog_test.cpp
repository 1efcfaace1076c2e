// The installer's own message boxes as the user sees them: the corrupted-installation box of
// the integrity check, shown even in quiet mode.
#include "testing/damaged_launcher.h"
#include "testing/dialog_run.h"

#include <gtest/gtest.h>

namespace {

std::wstring installerFile(const ScratchDirectory& scratch)
{
    sldkpack::LauncherModel model = basicModel("1");
    model.integrityCheck = true;
    model.trailer.assign(40000, 0x5A);
    return buildLauncherFile(kSetupStub, model, scratch.path(), L"setup.exe");
}

uint64_t appendedStartOf(const std::wstring& launcher)
{
    const auto layout = describeAppendedData(launcher);
    EXPECT_TRUE(layout);
    return layout ? layout->appendedStart : 0;
}

bool hasExtractionDirectory(const std::wstring& temp)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((temp + L"\\vxn*.tmp_dir*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

} // namespace

TEST(IntegrityDialog, DamagedDataShowsTheCorruptedInstallationBoxAndExtractsNothing)
{
    const struct {
        const char* name;
        uint64_t offset; // from the magic
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"one byte flipped in the covered range", 20 + 30000, {0xA5}},
        {"covered length 0 with a stored CRC of 1", 8, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDirectory scratch;
        const std::wstring temp = scratch.subdirectory(L"tmp");
        const std::wstring launcher = installerFile(scratch);
        ASSERT_FALSE(launcher.empty());
        ASSERT_TRUE(overwriteBytes(launcher, appendedStartOf(launcher) + c.offset, c.bytes));

        const ShownDialog shown = answerDialog(launcher, launcherOptions(temp, {L"-q"}), temp, IDOK);
        ASSERT_TRUE(shown.shown) << "no message box; exit code " << shown.result.exitCode;
        EXPECT_EQ(toUtf8(shown.contents.caption), "Setup Wizard");
        EXPECT_EQ(toUtf8(messageBoxText(shown.contents)),
                  "The installation file is corrupted. If it is a download please try it again.");
        EXPECT_EQ(shown.contents.buttons.size(), 1u) << buttonList(shown.contents);
        EXPECT_EQ(shown.result.exitCode, 1u);
        EXPECT_FALSE(hasExtractionDirectory(temp));
    }
}

// "-nocheck" switches off the CRC, not the reading of the data: a wrong magic still ends
// the run with the loader's error.
TEST(IntegrityDialog, WrongMagicFailsAlsoWithNocheck)
{
    ScratchDirectory scratch;
    const std::wstring temp = scratch.subdirectory(L"tmp");
    const std::wstring launcher = damagedLauncher(kSetupStub, Damage::WrongMagic, scratch.path(), "1");
    ASSERT_FALSE(launcher.empty());
    const ShownDialog shown = answerDialog(launcher, launcherOptions(temp, {L"-nocheck"}), temp, IDOK);
    ASSERT_TRUE(shown.shown) << "no message box; exit code " << shown.result.exitCode;
    EXPECT_EQ(toUtf8(messageBoxText(shown.contents)).rfind(toUtf8(expectedLoadError(Damage::WrongMagic)), 0), 0u);
    EXPECT_EQ(shown.result.exitCode, 1u);
}
