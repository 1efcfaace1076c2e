// The installer's own message boxes as the user sees them: the corrupted-installation box of
// the integrity check, shown even in quiet mode, and the reboot question of the deferred
// deletion.
#include "testing/damaged_launcher.h"
#include "testing/deletion_run.h"
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

// A file that stays in use through all the passes is left to the next system start; the
// user who answers the reboot question with No gets a marker file, pending until that
// start, whose path the Java side finds in both "RebootCheckFile" values.
TEST(DeferredDeletionDialog, FileInUseIsLeftToTheNextStartAndNoLeavesAMarker)
{
    ScratchDirectory scratch;
    const std::wstring temp = scratch.subdirectory(L"tmp");
    const std::wstring held = scratch.file(L"in use.dat");
    LockedFile lock(held);
    ASSERT_TRUE(lock.locked());
    const std::wstring list = scratch.file(L"list.txt");
    ASSERT_TRUE(writeDeletionList(list, deletionListLines(L"reboot_deletion",
                                                          L"Some files are still in use.\r\nRestart the computer now?",
                                                          {held}, {}, L"The computer could not be restarted.")));
    const std::wstring launcher = copyBareStub(kSetupStub, scratch.path(), L"setup.exe");
    ASSERT_FALSE(launcher.empty());
    ProcessOptions options = launcherOptions(temp, {L"__sldk_windel", list});
    options.timeoutMs = 90000;

    // Sixty passes half a second apart come first.
    const ShownDialog shown = answerDialog(launcher, options, temp, IDNO, 60000);
    const std::wstring marker = rebootCheckFile(HKEY_CURRENT_USER);
    const std::wstring machineMarker = rebootCheckFile(HKEY_LOCAL_MACHINE);
    const bool heldPending = isPendingRebootDeletion(held);
    const bool markerPending = isPendingRebootDeletion(marker);
    forgetPendingRebootDeletions(scratch.path());
    if (marker.rfind(temp, 0) == 0) {
        removeRebootCheckFile(HKEY_CURRENT_USER);
        removeRebootCheckFile(HKEY_LOCAL_MACHINE);
    }

    ASSERT_TRUE(shown.shown) << "no reboot question; exit code " << shown.result.exitCode;
    EXPECT_EQ(toUtf8(shown.contents.caption), "sealdeck");
    EXPECT_EQ(toUtf8(messageBoxText(shown.contents)), "Some files are still in use.\nRestart the computer now?");
    EXPECT_EQ(shown.contents.buttons.size(), 2u) << buttonList(shown.contents);
    EXPECT_EQ(shown.result.exitCode, 0u);
    EXPECT_TRUE(heldPending);
    EXPECT_EQ(marker.rfind(temp + L"\\ide", 0), 0u) << toUtf8(marker);
    EXPECT_EQ(toUtf8(machineMarker), toUtf8(marker));
    EXPECT_TRUE(fileExists(marker));
    EXPECT_TRUE(markerPending);
    EXPECT_FALSE(fileExists(list));
}
