// The installer's own windows as the user sees them: the corrupted-installation box of the
// integrity check, shown even in quiet mode, the reboot question of the deferred deletion,
// and the progress window.
#include "testing/damaged_launcher.h"
#include "testing/deletion_run.h"
#include "testing/dialog_run.h"
#include "testing/standin_runtime.h"

#include <gtest/gtest.h>

#include <cstdlib>

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
        EXPECT_TRUE(extractionDirectories(temp).empty());
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

namespace {

// An installer with the stand-in runtime beside it, run with its progress window; the
// stand-in Java side acts as the knobs say.
struct WindowedInstaller {
    std::wstring launcher;
    std::wstring temp;
    std::wstring trace;
};

WindowedInstaller windowedInstaller(const ScratchDirectory& scratch)
{
    WindowedInstaller installer;
    installer.temp = scratch.subdirectory(L"tmp");
    installer.trace = scratch.file(L"trace.txt");
    sldkpack::LauncherModel model = basicModel("1");
    model.integrityCheck = true;
    sldkpack::setConfig(model, 122, "com.example.Setup");
    sldkpack::setConfig(model, 128, "Ajre");
    model.files.push_back(sldkpack::IncludedFile{"app.jar", {'j', 'a', 'r'}});
    EXPECT_TRUE(layOutStandinRuntime(toUtf8(scratch.file(L"jre"))));
    installer.launcher = buildLauncherFile(kSetupStub, model, scratch.path(), L"setup.exe");
    return installer;
}

RunningProcess startWindowed(const WindowedInstaller& installer, std::vector<std::pair<std::wstring, std::wstring>> knobs)
{
    knobs.emplace_back(L"SEALDECK_LOG", L"yes");
    knobs.emplace_back(L"SLDK_TRACE", installer.trace);
    ProcessOptions options = launcherOptions(installer.temp, {}, knobs);
    options.desktop = dialogDesktop();
    options.timeoutMs = 60000;
    return startProcess(installer.launcher, options);
}

DWORD perProcessMarker(DWORD processId)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    const std::wstring name = L"InstallStarted_" + std::to_wstring(processId);
    if (RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\brenmark\\vexon", name.c_str(), RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS)
        return 0;
    return value;
}

bool waitUntilHidden(HWND window, DWORD timeoutMs)
{
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        if (!IsWindowVisible(window))
            return true;
        Sleep(50);
    }
    return false;
}

bool traceHas(const std::wstring& trace, const std::string& prefix)
{
    for (const std::string& line : traceLines(trace))
        if (line.rfind(prefix, 0) == 0)
            return true;
    return false;
}

} // namespace

// The window as the user sees it: the installer's title, notice and Cancel, centred on the
// screen; it goes away when the Java side shows its own window, and the installer ends
// when the Java side is done. A picture of it is left beside the test program.
TEST(ProgressWindow, ShowsTheInstallerTextsCentredAndHidesForTheJavaSidesWindow)
{
    ScratchDirectory scratch;
    const WindowedInstaller installer = windowedInstaller(scratch);
    RunningProcess run = startWindowed(installer, {{L"SLDK_JVM_SLEEP_MS", L"2500"}, {L"SLDK_JVM_WINDOW_MS", L"1500"}});
    ASSERT_TRUE(run.started()) << run.startError();
    HWND window = waitForWindowOfClass(run.processId(), L"MyDialogClass", kDialogTimeoutMs, run.processHandle());
    ASSERT_NE(window, nullptr) << "no progress window";
    Sleep(300);
    EXPECT_EQ(toUtf8(windowText(window)), "Setup Wizard");
    EXPECT_EQ(toUtf8(windowText(GetDlgItem(window, 1003))), "Preparing the installation ...");
    EXPECT_EQ(toUtf8(windowText(GetDlgItem(window, IDCANCEL))), "Cancel");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(window, 1002))) << "the download status line";
    EXPECT_EQ(toUtf8(windowClassName(GetDlgItem(window, 1001))), "msctls_progress32");
    RECT own{};
    RECT screen{};
    GetWindowRect(window, &own);
    GetWindowRect(GetDesktopWindow(), &screen);
    EXPECT_LE(std::abs((own.left + own.right) - (screen.left + screen.right)), 2);
    EXPECT_LE(std::abs((own.top + own.bottom) - (screen.top + screen.bottom)), 2);
    EXPECT_TRUE(saveWindowPicture(window, testProgramDirectory() + L"\\progress-window.bmp"));

    EXPECT_TRUE(waitUntilHidden(window, 20000)) << "still shown";
    EXPECT_TRUE(traceHas(installer.trace, "main: window shown"));
    const ProcessResult result = run.wait(30000);
    EXPECT_FALSE(result.timedOut) << "the installer did not end after main returned";
    EXPECT_EQ(result.exitCode, 0u);
    const std::vector<std::wstring> logs = listLogs(installer.temp);
    ASSERT_EQ(logs.size(), 1u);
    const std::string log = readLog(logs.front()).value_or(LogFile{}).text;
    EXPECT_TRUE(hasLogLine(log, "Java window visible")) << log;
    EXPECT_EQ(perProcessMarker(result.processId), 0u);
}

// The Java side can also say so through the marker, without a window of its own.
TEST(ProgressWindow, MarkerValueTwoHidesItWithoutAWindow)
{
    ScratchDirectory scratch;
    const WindowedInstaller installer = windowedInstaller(scratch);
    RunningProcess run = startWindowed(installer, {{L"SLDK_JVM_SLEEP_MS", L"1500"}, {L"SLDK_JVM_MARKER", L"2"},
                                                  {L"SLDK_JVM_LINGER_MS", L"10000"}});
    ASSERT_TRUE(run.started()) << run.startError();
    HWND window = waitForWindowOfClass(run.processId(), L"MyDialogClass", kDialogTimeoutMs, run.processHandle());
    ASSERT_NE(window, nullptr) << "no progress window";
    EXPECT_TRUE(waitUntilHidden(window, 20000)) << "still shown";
    EXPECT_TRUE(traceHas(installer.trace, "main: marker 2"));
    EXPECT_EQ(perProcessMarker(run.processId()), 0u) << "the wait takes its marker away";
}

// Cancel while the Java side runs: exit code 0, the markers gone, the extraction directory
// left (the Java side may still use it until the process ends).
TEST(ProgressWindow, CancelEndsWithExitZeroAndLeavesTheExtractionDirectory)
{
    ScratchDirectory scratch;
    const WindowedInstaller installer = windowedInstaller(scratch);
    RunningProcess run = startWindowed(installer, {{L"SLDK_JVM_SLEEP_MS", L"30000"}});
    ASSERT_TRUE(run.started()) << run.startError();
    HWND window = waitForWindowOfClass(run.processId(), L"MyDialogClass", kDialogTimeoutMs, run.processHandle());
    ASSERT_NE(window, nullptr) << "no progress window";
    for (int i = 0; i < 200 && !traceHas(installer.trace, "arg-count"); ++i)
        Sleep(50);
    ASSERT_TRUE(traceHas(installer.trace, "arg-count")) << "main was not called";
    EXPECT_EQ(perProcessMarker(run.processId()), 1u);
    const DWORD processId = run.processId();
    EXPECT_TRUE(pressButton(window, IDCANCEL));
    const ProcessResult result = run.wait(15000);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(perProcessMarker(processId), 0u);
    EXPECT_FALSE(extractionDirectories(installer.temp).empty());
}

// "-q" hides the window only without "-splash"; the switches count only in their own
// spelling, so "-Q" and "/q" leave the window on.
TEST(ProgressWindow, ShownUnlessQuietWithoutSplash)
{
    for (const std::vector<std::wstring>& arguments :
         {std::vector<std::wstring>{L"-q", L"-splash"}, std::vector<std::wstring>{L"-Q"},
          std::vector<std::wstring>{L"/q"}}) {
        SCOPED_TRACE(toUtf8(arguments.front()));
        ScratchDirectory scratch;
        const WindowedInstaller installer = windowedInstaller(scratch);
        ProcessOptions options = launcherOptions(installer.temp, arguments,
                                                 {{L"SLDK_TRACE", installer.trace}, {L"SLDK_JVM_SLEEP_MS", L"1500"}});
        options.desktop = dialogDesktop();
        options.timeoutMs = 60000;
        RunningProcess run = startProcess(installer.launcher, options);
        ASSERT_TRUE(run.started()) << run.startError();
        EXPECT_NE(waitForWindowOfClass(run.processId(), L"MyDialogClass", kDialogTimeoutMs, run.processHandle()),
                  nullptr);
        const ProcessResult result = run.wait(30000);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitCode, 0u);
    }
}

// A language restart is its first run's child: it writes no InstallStarted value, not even
// with its progress window shown ("-splash").
TEST(ProgressWindow, LanguageRestartWritesNoMarkers)
{
    ScratchDirectory scratch;
    const WindowedInstaller installer = windowedInstaller(scratch);
    const std::wstring first = scratch.subdirectory(L"first run");
    ASSERT_TRUE(writeFileBytes(first + L"\\sldkruntime.jar", {'j'}));
    ASSERT_TRUE(writeFileBytes(first + L"\\sldkparams.conf", {'p'}));
    ProcessOptions options = launcherOptions(installer.temp, {L"__sldk_lang_restart", L"-splash"},
                                             {{L"SLDK_TRACE", installer.trace}, {L"SLDK_JVM_SLEEP_MS", L"3000"}});
    options.desktop = dialogDesktop();
    options.workingDirectory = first;
    options.timeoutMs = 60000;
    RunningProcess run = startProcess(installer.launcher, options);
    ASSERT_TRUE(run.started()) << run.startError();
    EXPECT_NE(waitForWindowOfClass(run.processId(), L"MyDialogClass", kDialogTimeoutMs, run.processHandle()), nullptr);
    for (int i = 0; i < 200 && !traceHas(installer.trace, "arg-count"); ++i)
        Sleep(50);
    ASSERT_TRUE(traceHas(installer.trace, "arg-count")) << "main was not called";
    EXPECT_EQ(perProcessMarker(run.processId()), 0u);
    const ProcessResult result = run.wait(30000);
    EXPECT_EQ(result.exitCode, 0u);
}
