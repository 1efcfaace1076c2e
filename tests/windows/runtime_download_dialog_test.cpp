// The download dialog as the user meets it when an installer finds no runtime: its texts
// (with and without a download URL, with the version limits), Download with its progress,
// Cancel, and Locate through the open-file dialog; and "-manual" offering the dialog even
// when the installer carries a runtime archive.
#include "testing/dialog_run.h"
#include "testing/loopback_http_server.h"
#include "testing/runtime_tarball.h"
#include "testing/standin_runtime.h"

#include "launchcore/java_version_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

using Config = std::vector<std::pair<int32_t, std::string>>;

constexpr int kDownload = 1004;
constexpr int kLocate = 1005;
constexpr int kStatusLine = 1002;
constexpr const char* kNoRuntime = "No suitable Java runtime was found on this computer.\n";

struct Installer {
    std::wstring launcher;
    std::wstring temp;
    std::wstring trace;
};

Installer installer(const ScratchDirectory& scratch, const Config& config,
                    const std::vector<std::pair<int32_t, std::u16string>>& messages = {},
                    std::vector<sldkpack::IncludedFile> files = {})
{
    Installer made;
    sldkpack::LauncherModel model = basicModel("1");
    sldkpack::setConfig(model, 122, "com.example.Setup");
    sldkpack::setConfig(model, 123, "-Dtest.jvmHome=${launcher:sys.jvmHome}");
    for (const auto& [id, value] : config)
        sldkpack::setConfig(model, id, value);
    for (const auto& [id, text] : messages)
        sldkpack::setMessage(model.messages, id, text);
    model.files = std::move(files);
    made.launcher = buildLauncherFile(kSetupStub, model, scratch.path(), L"setup.exe");
    made.temp = scratch.subdirectory(L"tmp");
    made.trace = scratch.file(L"trace.txt");
    return made;
}

// "-manual" keeps the run away from runtimes other tests register on the machine.
RunningProcess start(const Installer& made)
{
    ProcessOptions options =
        launcherOptions(made.temp, {L"-manual"}, {{L"SLDK_TRACE", made.trace}, {L"SEALDECK_LOG", L"yes"}});
    options.desktop = dialogDesktop();
    options.timeoutMs = 60000;
    RunningProcess process = startProcess(made.launcher, options);
    EXPECT_TRUE(process.started()) << process.startError();
    return process;
}

// The first visible dialog of the process that the predicate accepts.
template <typename Predicate>
HWND waitForWindow(const RunningProcess& process, Predicate accepts, DWORD timeoutMs = kDialogTimeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (GetTickCount64() < deadline && WaitForSingleObject(process.processHandle(), 0) != WAIT_OBJECT_0) {
        for (HWND window : topLevelWindows(process.processId()))
            if (IsWindowVisible(window) && windowClassName(window) == L"#32770" && accepts(window))
                return window;
        Sleep(20);
    }
    return nullptr;
}

HWND waitForDownloadDialog(const RunningProcess& process)
{
    return waitForWindow(process, [](HWND window) { return GetDlgItem(window, kLocate) != nullptr; });
}

std::string notice(const DialogContents& contents)
{
    return contents.staticTexts.empty() ? std::string() : toUtf8(contents.staticTexts.front());
}

bool perProcessMarkerExists(DWORD processId)
{
    const std::wstring name = L"InstallStarted_" + std::to_wstring(processId);
    return RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\brenmark\\vexon", name.c_str(), RRF_RT_REG_DWORD, nullptr,
                        nullptr, nullptr) == ERROR_SUCCESS;
}

std::string startedHome(const Installer& made)
{
    const std::vector<std::string> homes = traced(traceLines(made.trace), "option: -Dtest.jvmHome=");
    return homes.size() == 1 ? homes.front() : std::string();
}

std::string lowerCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

// The notice names the bitness and the configured limits; without a URL there is no
// Download. A translated text with stray conversions is replaced by the English one.
// Cancel ends the installer with exit code 1 and takes its start marker away.
TEST(RuntimeDownloadDialog, TextsFollowTheUrlAndTheVersionLimitsAndCancelEndsTheInstaller)
{
    const struct {
        const char* what;
        Config config;
        std::vector<std::pair<int32_t, std::u16string>> messages;
        std::string text;
        bool download;
    } cases[] = {
        {"URL and both limits", {{150, "http://127.0.0.1:9/jre.tar.gz"}, {126, "1.8"}, {127, "17"}}, {},
         std::string(kNoRuntime) + "Please locate one or download a 64-bit JRE. (minimum version: 1.8, maximum version: 17)",
         true},
        {"no URL, maximum only", {{127, "17.0.2"}}, {},
         std::string(kNoRuntime) + "Please locate a 64-bit JRE. (maximum version: 17.0.2)", false},
        {"stray conversion in the offer", {{150, "http://127.0.0.1:9/jre.tar.gz"}, {126, "11"}},
         {{20005, u"need %d-bit %S"}},
         std::string(kNoRuntime) + "Please locate one or download a 64-bit JRE. (minimum version: 11)", true},
        {"translated text", {}, {{20006, u"Bitte w\u00e4hlen Sie eine %S-Bit-Laufzeit (100%%)."}},
         "Bitte w\xc3\xa4hlen Sie eine 64-Bit-Laufzeit (100%).", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDirectory scratch;
        const Installer made = installer(scratch, c.config, c.messages);
        RunningProcess process = start(made);
        HWND dialog = waitForDownloadDialog(process);
        ASSERT_TRUE(dialog) << "no download dialog";
        const DialogContents contents = readDialog(dialog);
        EXPECT_EQ(toUtf8(contents.caption), "Setup Wizard");
        EXPECT_EQ(notice(contents), c.text);
        EXPECT_EQ(IsWindowVisible(GetDlgItem(dialog, kDownload)) != FALSE, c.download);
        EXPECT_EQ(toUtf8(windowText(GetDlgItem(dialog, kDownload))), "Download");
        EXPECT_EQ(toUtf8(windowText(GetDlgItem(dialog, kLocate))), "Locate");
        EXPECT_EQ(toUtf8(windowText(GetDlgItem(dialog, IDCANCEL))), "Cancel");
        const DWORD id = process.processId();
        EXPECT_TRUE(perProcessMarkerExists(id));
        EXPECT_TRUE(pressButton(dialog, IDCANCEL));
        const ProcessResult result = process.wait(20000);
        EXPECT_EQ(result.exitCode, 1u);
        EXPECT_FALSE(perProcessMarkerExists(id));
        EXPECT_TRUE(startedHome(made).empty());
    }
}

// Download fetches the archive with the progress window's status line counting, then the
// unpacked runtime starts.
TEST(RuntimeDownloadDialog, DownloadShowsProgressAndStartsTheRuntime)
{
    ScratchDirectory scratch;
    const std::wstring published = scratch.subdirectory(L"published");
    ASSERT_TRUE(layOutStandinRuntime(toUtf8(published)));
    LoopbackHttpServer server;
    HttpReply slow = replyWith(tarGz(treeMembers(published)));
    // About three seconds, so that the status line shows several times.
    slow.trickleDelayMs = 50;
    slow.trickleBytes = slow.body->size() / 60 + 1;
    server.serve("/jre.tar.gz", slow);
    const Installer made = installer(scratch, {{150, server.url("/jre.tar.gz")}, {126, "1.8"}});
    RunningProcess process = start(made);
    HWND dialog = waitForDownloadDialog(process);
    ASSERT_TRUE(dialog) << "no download dialog";
    const HWND progress = GetWindow(dialog, GW_OWNER);
    ASSERT_TRUE(progress) << "the dialog belongs to the progress window";
    EXPECT_TRUE(pressButton(dialog, kDownload));

    std::string status;
    const ULONGLONG deadline = GetTickCount64() + 15000;
    while (status.find(" MB of ") == std::string::npos && GetTickCount64() < deadline) {
        status = toUtf8(windowText(GetDlgItem(progress, kStatusLine)));
        Sleep(20);
    }
    const std::string downloading = toUtf8(windowText(GetDlgItem(progress, 1003)));
    const ProcessResult result = process.wait(40000);
    EXPECT_EQ(result.exitCode, 0u) << result.standardError;
    // "%.2f MB of %.2f MB (%.1f%%) at %.1f kb/s" with real figures.
    char total[32];
    std::snprintf(total, sizeof total, "%.2f", static_cast<double>(slow.body->size()) / 1048576.0);
    EXPECT_NE(status.find(std::string(" MB of ") + total + " MB ("), std::string::npos) << status;
    EXPECT_NE(status.find("%) at "), std::string::npos) << status;
    EXPECT_NE(status.find(" kb/s"), std::string::npos) << status;
    EXPECT_EQ(downloading, "Downloading the Java runtime ...");
    const std::string home = lowerCase(startedHome(made));
    EXPECT_EQ(home.rfind(lowerCase(toUtf8(made.temp)), 0), 0u) << home;
    EXPECT_EQ(server.requests("/jre.tar.gz"), 1);
}

// Locate: the chosen java.exe is checked and loaded, and remembered among the located
// runtimes for later installers.
TEST(RuntimeDownloadDialog, LocateLoadsTheChosenRuntimeAndRemembersIt)
{
    ScratchDirectory scratch;
    const std::string home = toUtf8(scratch.subdirectory(L"chosen"));
    ASSERT_TRUE(layOutStandinRuntime(home));
    const std::string javaExe = standinJavaExe(home);
    const Installer made = installer(scratch, {{126, "1.8"}});
    RunningProcess process = start(made);
    HWND dialog = waitForDownloadDialog(process);
    ASSERT_TRUE(dialog) << "no download dialog";
    EXPECT_TRUE(pressButton(dialog, kLocate));
    HWND chooser = waitForWindow(process, [](HWND window) {
        return windowText(window) == L"Please choose the java.exe of a Java runtime";
    });
    ASSERT_TRUE(chooser) << "no open-file dialog";
    // The file name box: a combo box with an edit field in the Explorer-style dialog, a
    // plain edit field in the old one.
    HWND name = GetDlgItem(chooser, 0x47C);
    if (HWND edit = name ? FindWindowExW(name, nullptr, L"Edit", nullptr) : nullptr)
        name = edit;
    if (!name)
        name = GetDlgItem(chooser, 0x480);
    ASSERT_TRUE(name) << "no file name field";
    const std::wstring path = fromUtf8(javaExe);
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    EXPECT_TRUE(pressButton(chooser, IDOK));

    const ProcessResult result = process.wait(30000);
    const std::string key = locatedJvmKey(javaExe);
    HKEY located = nullptr;
    const bool remembered = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &located) == ERROR_SUCCESS ||
                            RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &located) == ERROR_SUCCESS;
    if (located)
        RegCloseKey(located);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());

    EXPECT_EQ(result.exitCode, 0u) << result.standardError;
    // The home as the runtime check derives it from java.exe: "<home>\bin\..".
    EXPECT_EQ(lowerCase(startedHome(made)).rfind(lowerCase(home) + "\\", 0), 0u) << startedHome(made);
    EXPECT_TRUE(remembered) << key;
}

// With "-manual" the included archive is neither unpacked nor used: the dialog comes
// instead.
TEST(RuntimeDownloadDialog, ManualSwitchOffersTheDialogInsteadOfTheIncludedArchive)
{
    ScratchDirectory scratch;
    const std::wstring published = scratch.subdirectory(L"published");
    ASSERT_TRUE(layOutStandinRuntime(toUtf8(published)));
    const std::string archive = tarGz(treeMembers(published));
    const Installer made =
        installer(scratch, {{126, "1.8"}}, {}, {{"jre.tar.gz", std::vector<uint8_t>(archive.begin(), archive.end())}});
    RunningProcess process = start(made);
    HWND dialog = waitForDownloadDialog(process);
    ASSERT_TRUE(dialog) << "no download dialog";
    const std::string log = [&] {
        const std::vector<std::wstring> logs = listLogs(made.temp);
        return logs.empty() ? std::string() : readTextFile(logs.front());
    }();
    EXPECT_TRUE(pressButton(dialog, IDCANCEL));
    EXPECT_EQ(process.wait(20000).exitCode, 1u);
    EXPECT_NE(log.find("Included JRE not used because of manual switch"), std::string::npos) << log;
    EXPECT_TRUE(startedHome(made).empty());
}

// A download dialog ended some other way (Enter while Download is hidden) leaves the installer
// without a runtime: no packed payload file is restored with a tool that is not there, and
// the VM start ends with message 1005 instead of calling into nothing.
TEST(RuntimeDownloadDialog, EndedWithoutARuntimeNothingIsUnpackedAndTheStartFailsCleanly)
{
    ScratchDirectory scratch;
    const Installer made =
        installer(scratch, {}, {}, {sldkpack::IncludedFile{"lib.jar.pack", {'p', 'a', 'c', 'k'}}});
    RunningProcess process = start(made);
    HWND dialog = waitForDownloadDialog(process);
    ASSERT_NE(dialog, nullptr) << "no download dialog";
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    HWND failure = waitForWindow(process, [](HWND window) { return GetDlgItem(window, kLocate) == nullptr; });
    ASSERT_NE(failure, nullptr) << "no error box";
    const DialogContents contents = readDialog(failure);
    EXPECT_EQ(toUtf8(messageBoxText(contents)).rfind("The JVM could not be started.", 0), 0u)
        << toUtf8(messageBoxText(contents));
    EXPECT_TRUE(pressButton(failure, IDOK));
    const ProcessResult result = process.wait(20000);
    EXPECT_EQ(result.exitCode, 1u);
    const std::vector<std::wstring> logs = listLogs(made.temp);
    ASSERT_EQ(logs.size(), 1u);
    const std::string log = readLog(logs.front()).value_or(LogFile{}).text;
    EXPECT_TRUE(hasLogLine(log, "no JRE loaded, not unpacking lib.jar.pack")) << log;
    EXPECT_TRUE(hasLogLine(log, "ERROR: Could not start JVM")) << log;
    EXPECT_FALSE(hasLogLineStartingWith(log, "unpack200: ")) << log;
}
