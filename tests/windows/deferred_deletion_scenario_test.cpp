// The "__sldk_windel" run as the installer's Java side starts it: a bare installer (the run
// reads no appended data) with the marker and the list's path, deleting what the list names
// and leaving what resists to the next system start.
#include "testing/deletion_run.h"
#include "testing/launcher_run.h"
#include "testing/standin_runtime.h"

#include <gtest/gtest.h>

namespace {

// The marker, the list, and the arguments after them (which the run ignores).
LauncherOutcome runDeletion(const ScratchDirectory& scratch, const std::wstring& list,
                            std::vector<std::wstring> extra = {})
{
    const std::wstring launcher = copyBareStub(kSetupStub, scratch.path(), L"setup.exe");
    EXPECT_FALSE(launcher.empty());
    std::vector<std::wstring> arguments{L"__sldk_windel", list};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return runLauncher(launcher, scratch.subdirectory(L"tmp"), std::move(arguments));
}

bool writeFile(const std::wstring& path) { return writeFileBytes(path, {'x'}); }

} // namespace

// Entries that can go all go in the first pass (the run ends long before a second one would
// start); names that do not exist count as deleted; the list goes too.
TEST(DeferredDeletionScenario, DeletableEntriesGoInOnePassAndTheListWithThem)
{
    ScratchDirectory scratch;
    const std::wstring a = scratch.file(L"a.txt");
    const std::wstring b = scratch.subdirectory(L"sub") + L"\\b b.txt";
    const std::wstring sub = scratch.file(L"sub");
    const std::wstring empty = scratch.subdirectory(L"empty");
    ASSERT_TRUE(writeFile(a) && writeFile(b));
    const std::wstring list = scratch.file(L"list.txt");
    ASSERT_TRUE(writeDeletionList(
        list, deletionListLines(L"reboot_deletion", L"Restart now?", {a, b, scratch.file(L"never.txt")}, {sub, empty}),
        true));

    const DWORD start = GetTickCount();
    const LauncherOutcome outcome = runDeletion(scratch, list, {L"-q"});
    EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
    EXPECT_LT(GetTickCount() - start, 10000u) << "more than one pass";
    for (const std::wstring& path : {a, b, sub, empty, list})
        EXPECT_FALSE(fileExists(path) || directoryExists(path)) << toUtf8(path);
    EXPECT_EQ(rebootCheckFile(HKEY_CURRENT_USER).find(scratch.path()), std::wstring::npos) << "a reboot marker";
}

// Without the list's path the marker is no marker: the installer starts as usual (here one
// that shows no window, as nothing needs one).
TEST(DeferredDeletionScenario, MarkerWithoutAListStartsTheInstaller)
{
    ScratchDirectory scratch;
    const std::wstring temp = scratch.subdirectory(L"tmp");
    sldkpack::LauncherModel model = basicModel("1");
    sldkpack::setConfig(model, 155, "1");
    sldkpack::setConfig(model, 128, "Ajre");
    ASSERT_TRUE(layOutStandinRuntime(toUtf8(scratch.file(L"jre"))));
    const std::wstring launcher = buildLauncherFile(kSetupStub, model, scratch.path(), L"setup.exe");
    ASSERT_FALSE(launcher.empty());
    const LauncherOutcome outcome = runLauncher(launcher, temp, {L"__sldk_windel"}, {{L"SEALDECK_LOG", L"yes"}});
    EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
    const std::string log = singleLogText(outcome);
    EXPECT_TRUE(hasLogLine(log, "Init done")) << log;
    EXPECT_TRUE(hasLogLine(log, "launching program")) << log;
}

// A leftover inside an extraction directory is left to the next start at once: no retries,
// no reboot question, no marker.
TEST(DeferredDeletionScenario, LockedFileInAnExtractionDirectoryIsScheduledInTheFirstPass)
{
    ScratchDirectory scratch;
    const std::wstring extraction = scratch.subdirectory(L"vxn4711.tmp_dir1234");
    const std::wstring held = extraction + L"\\in use.jar";
    LockedFile lock(held);
    ASSERT_TRUE(lock.locked());
    const std::wstring list = scratch.file(L"list.txt");
    ASSERT_TRUE(writeDeletionList(list, deletionListLines(L"reboot_deletion", L"Restart now?", {held}, {extraction})));

    const DWORD start = GetTickCount();
    const LauncherOutcome outcome = runDeletion(scratch, list);
    const DWORD elapsed = GetTickCount() - start;
    const bool heldPending = isPendingRebootDeletion(held);
    const bool folderPending = isPendingRebootDeletion(extraction);
    forgetPendingRebootDeletions(scratch.path());

    EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
    EXPECT_LT(elapsed, 10000u) << "the extraction directory's entries were retried";
    EXPECT_TRUE(heldPending);
    EXPECT_TRUE(folderPending);
    EXPECT_FALSE(fileExists(list));
    EXPECT_EQ(rebootCheckFile(HKEY_CURRENT_USER).find(scratch.path()), std::wstring::npos) << "a reboot marker";
}

// The run waits for the installer that wrote the list: while its semaphore exists nothing
// is deleted.
TEST(DeferredDeletionScenario, WaitsUntilTheWritersSemaphoreIsGone)
{
    ScratchDirectory scratch;
    const std::wstring file = scratch.file(L"a.txt");
    ASSERT_TRUE(writeFile(file));
    const std::wstring name = L"sldk-test-writer-" + std::to_wstring(GetCurrentProcessId());
    HANDLE writer = CreateSemaphoreW(nullptr, 0, 1, name.c_str());
    ASSERT_NE(writer, nullptr);
    std::vector<std::wstring> lines = deletionListLines(L"none", L"", {file}, {});
    lines.front() = name;
    const std::wstring list = scratch.file(L"list.txt");
    ASSERT_TRUE(writeDeletionList(list, lines));

    const std::wstring launcher = copyBareStub(kSetupStub, scratch.path(), L"setup.exe");
    RunningProcess run = startProcess(launcher, launcherOptions(scratch.subdirectory(L"tmp"), {L"__sldk_windel", list}));
    ASSERT_TRUE(run.started()) << run.startError();
    EXPECT_EQ(WaitForSingleObject(run.processHandle(), 1500), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(fileExists(file));
    CloseHandle(writer);
    const ProcessResult result = run.wait(kLauncherTimeoutMs);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_FALSE(fileExists(file));
}
