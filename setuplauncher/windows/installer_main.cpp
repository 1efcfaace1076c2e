#include "setuplauncher/windows/installer_main.h"

#include <string>
#include <vector>

#include "launchcore/appended_data_format.h"
#include "launchcore/configuration.h"
#include "launchcore/configuration_entries.h"
#include "launchcore/windows/JavaVMLauncher.h"
#include "launchcore/windows/base/system_text.h"
#include "launchcore/windows/dll_search.h"
#include "launchcore/windows/exit/fatal_exit.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/messages/error_display.h"
#include "launchcore/windows/messages/message_texts.h"
#include "launchcore/windows/pack200.h"
#include "launchcore/windows/payload.h"
#include "launchcore/windows/process_paths.h"
#include "launchcore/windows/single_instance.h"
#include "launchcore/windows/startup.h"
#include "launchcore/windows/state/launcher_state.h"
#include "launchcore/windows/state/selected_runtime.h"
#include "launchcore/windows/system_reboot.h"
#include "natives/windows/dll_preload.h"
#include "setuplauncher/restart_markers.h"
#include "setuplauncher/windows/deferred_deletion.h"
#include "setuplauncher/windows/install_started_markers.h"
#include "setuplauncher/windows/installer_state.h"
#include "setuplauncher/windows/integrity_check.h"
#include "setuplauncher/windows/java_window_wait.h"
#include "setuplauncher/windows/progress_scale.h"
#include "setuplauncher/windows/progress_window.h"
#include "setuplauncher/windows/runtime_archive.h"
#include "setuplauncher/windows/runtime_download.h"

namespace {

constexpr int32_t kVmNotStartedMessage = 1005;
constexpr int32_t kInternalErrorMessage = 1009;
constexpr int32_t kInstallerTitleMessage = 20013;
constexpr int32_t kCorruptedInstallationMessage = 20016;
constexpr int32_t kNotEnoughDiskSpaceMessage = 20018;
// The 8-bit buffers of the work: directories, and the runtime's full paths.
constexpr DWORD kDirectoryLimit = 6000;
constexpr DWORD kFullPathLimit = 2000;
constexpr int kNoRuntimeExitCode = 83;

void progressWork(HWND window);

// The current directory; empty when it needs kDirectoryLimit characters or more.
std::string currentDirectoryAnsi()
{
    const std::string directory =
        fillGrowing<char>([](char* buffer, DWORD size) { return GetCurrentDirectoryA(size, buffer); })
            .value_or(std::string());
    return directory.size() < kDirectoryLimit ? directory : std::string();
}

// The full path of a name in the current directory; empty when it needs limit characters
// or more.
std::string fullPathAnsi(const char* name, DWORD limit)
{
    const std::string path = fullPathName(std::string(name));
    return path.size() < limit ? path : std::string();
}

bool isDirectory(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void changeToExtractionDirectory()
{
    if (!SetCurrentDirectoryA(extractionDirectory().c_str()))
        logError(L"Could not change working dir to %S (%d)", extractionDirectory().c_str(),
                 static_cast<int>(GetLastError()));
}

// A language restart runs in the extraction directory of the first run. Whether the first
// run's files are still there; when not, the work starts again in a fresh directory.
bool reuseRestartDirectory()
{
    setExtractionDirectory(currentDirectoryAnsi());
    const std::string& directory = extractionDirectory();
    bool complete = true;
    if (!pathExists(directory + "\\sldkruntime.jar")) {
        logLine(L"could not find sldkruntime.jar");
        complete = false;
    } else if (!pathExists(directory + "\\sldkparams.conf")) {
        logLine(L"could not find sldkparams.conf");
        complete = false;
    }
    if (!complete)
        setExtractionDirectory({});
    return complete;
}

// Extract-and-exit extracts beside the executable ("<exe>.test", which may exist already);
// otherwise a fresh directory in the temporary directory.
void createInstallerExtractionDirectory()
{
    if (!extractAndExit()) {
        createExtractionDirectoryOrExit();
        return;
    }
    setExtractionDirectory(moduleAnsiPath() + ".test");
    const std::string& directory = extractionDirectory();
    logLine(L"Extracted dir: %S", directory.c_str());
    if (!CreateDirectoryA(directory.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        logLine(L"Could not create dir %S (%d)", directory.c_str(), static_cast<int>(GetLastError()));
        fatalMessage(kInternalErrorMessage, "70");
    }
}

void extractIncludedFiles(HWND window)
{
    const int result = extractPayload(false);
    if (result == 0)
        return;
    if (!quiet()) {
        const int32_t text = result == 2 ? kNotEnoughDiskSpaceMessage : kCorruptedInstallationMessage;
        MessageBoxW(window, messageText(text).c_str(), messageText(kInstallerTitleMessage).c_str(), MB_ICONERROR);
    }
    exitWithCleanup(1);
}

// Whether the installer brought a runtime: its archive, or in a reused directory the runtime
// the first run unpacked.
void findIncludedRuntime(bool reuseDirectory)
{
    logLine(L"Current working dir: %S", currentDirectoryAnsi().c_str());
    const std::string archive = fullPathAnsi("jre.tar.gz", kFullPathLimit);
    logLine(L"Full JRE path: %S", archive.c_str());
    bool available = !archive.empty() && pathExists(archive);
    if (!available && reuseDirectory) {
        logLine(L"Checking restart JRE: %S", archive.c_str());
        const std::string extracted = fullPathAnsi("jre", kFullPathLimit);
        logLine(L"Checking extracted JRE: %S", extracted.c_str());
        available = !extracted.empty() && isDirectory(extracted);
    }
    logLine(available ? L"JRE included" : L"No JRE included");
    if (manualRuntimeSwitch() && available) {
        logLine(L"Included JRE not used because of manual switch");
        available = false;
    }
    setRuntimeAvailable(available);
}

// The search of the installed runtimes, without messages; true when one was loaded.
bool loadInstalledRuntime() { return LoadDLL(false, nullptr, false); }

void setStartMarkers(HWND window) { setInstallStartedMarkers(true, window != nullptr, true); }
void clearStartMarkers() { setInstallStartedMarkers(false, true, true); }

// An installed runtime, the included one, a download or the user's choice.
void chooseRuntime(HWND window)
{
    if (runtimeAvailable()) {
        if (configInt(config_entry::kPreferInstalledRuntime) == 0)
            return;
        setStartMarkers(window);
        if (loadInstalledRuntime())
            setRuntimeAvailable(false);
        else
            clearStartMarkers();
        return;
    }
    setStartMarkers(window);
    if (!manualRuntimeSwitch() && loadInstalledRuntime())
        return;
    if (quiet()) {
        if (configInt(config_entry::kAutoDownloadRuntime) != 0) {
            writeConsole("No JRE found. Trying to download.\n");
            offerRuntimeDownload(window);
            return;
        }
        logError(L"No JRE found");
        writeConsole("No JRE found. Aborting.\n");
        clearStartMarkers();
        // Nobody is told the extraction directory's name, so it goes too.
        exitWithCleanup(kNoRuntimeExitCode);
    }
    if (window)
        offerRuntimeDownload(window);
    else
        showProgressWindow(progressWork); // started without window: its thread runs the offer
}

void prepareRuntime(HWND window, bool reuseDirectory)
{
    if (reuseDirectory) {
        if (runtimeAvailable())
            loadIncludedRuntime();
        return;
    }
    if (!runtimeAvailable()) {
        setJavaWaitStart(100);
        return;
    }
    setJavaWaitStart(configInt(config_entry::kRuntimePack200) != 0 ? 300 : 200);
    prepareIncludedRuntime(window);
}

// Included files shipped in pack200 form, restored with the loaded runtime's tool.
void restorePackedPayloadFiles()
{
    const std::vector<std::string> names = payloadFileNames(configValue(config_entry::kIncludedFileList),
                                                            configInt(config_entry::kIncludedFileCount));
    for (const std::string& name : names) {
        if (!name.ends_with(".pack"))
            continue;
        if (!vmLibraryLoaded()) {
            logLine(L"no JRE loaded, not unpacking %S", name.c_str());
            continue;
        }
        logLine(L"unpacking %S", name.c_str());
        unpackPackFile(selectedRuntimeHome(), extractionDirectory() + "\\" + name);
    }
}

// The end of extract-and-exit: the position where the Java side's data begins, for the
// caller that extracts the rest itself. The extraction directory stays.
[[noreturn]] void writeUnextractedPositionAndExit()
{
    if (FILE* file = fopen("unextracted.txt", "w")) {
        const bool written = fprintf(file, "%d", static_cast<int>(unextractedPosition())) > 0;
        // A part of the number would be read as another position: only a whole write counts.
        if (fclose(file) == 0 && written)
            ExitProcess(0);
    }
    logError(L"Could not write file with unextracted position");
    fatalMessage(kInternalErrorMessage, "71");
}

// The work of the progress window's thread. Started without window, the window comes up
// only for the download, which closes it.
void progressWork(HWND window)
{
    if (startWithoutWindow()) {
        offerRuntimeDownload(window);
        return;
    }
    prepareAndLaunch(window);
    // The Java side has ended without ending the process: nothing is left to wait for.
    closeProgressWindow(window);
}

// The user's switches, anywhere in the argument vector (element 0 included), compared in
// full and with their case; returns whether the progress window is asked for in quiet mode.
bool takeInstallerSwitches(const std::vector<std::wstring>& arguments)
{
    bool splash = false;
    bool console = false;
    for (const std::wstring& argument : arguments) {
        if (argument == L"-q") {
            setQuiet(true);
            disableGuiErrorMode();
        } else if (argument == L"-console") {
            console = attachConsole();
        } else if (argument == L"-splash") {
            splash = true;
        } else if (argument == L"-nocheck") {
            setIntegrityCheck(false);
        } else if (argument == L"-c") {
            setQuiet(true);
            disableGuiErrorMode();
            if (!console && !(console = attachConsole())) {
                MessageBoxA(nullptr, "Error: Could not allocate console.", "sealdeck", MB_OK);
                exitWithCleanup(1);
            }
        } else if (argument == L"-manual" || argument == L"/manual") {
            setManualRuntimeSwitch(true);
        }
    }
    return splash;
}

} // namespace

int installerMain(HINSTANCE instance, const char* tail)
{
    // Before anything loads a DLL: a DLL planted in the download folder beside the installer
    // must never be picked up.
    restrictDllSearch();
    preloadSystemLibraries();

    const RestartMarkers markers = recognizeRestartMarkers(tail ? tail : "");
    if (markers.reboot) {
        rebootAfterDelay();
        return 0;
    }
    setQuiet(false);
    if (markers.languageRestart) {
        logLine(L"language restart");
        setLanguageRestart(true);
        setQuiet(true);
    }
    if (markers.extractAndExit) {
        logLine(L"extract and exit mode");
        setExtractAndExit(true);
    }
    initCommonControls();
    std::vector<std::wstring> arguments = processArguments();
    // Without the list's path the marker means nothing, and this is a normal start.
    if (markers.deferredDeletion && arguments.size() >= 3)
        return runDeferredDeletion(arguments[2]);

    commonStartup(instance, std::move(arguments), true);
    setIntegrityCheck(true);
    const bool splash = takeInstallerSwitches(argumentVector());
    if (!languageRestart())
        enforceSingleInstance();
    setStartWithoutWindow(configInt(config_entry::kNoProgressWindow) != 0);
    logLine(L"Init done");

    if (quiet() && !splash) {
        logLine(L"Quiet installer.");
        prepareAndLaunch(nullptr);
    } else if (startWithoutWindow()) {
        registerProgressWindowClass();
        prepareAndLaunch(nullptr);
    } else {
        registerProgressWindowClass();
        showProgressWindow(progressWork);
    }
    return 0;
}

int prepareAndLaunch(HWND window)
{
    logLine(L"Starting work");
    if (window) {
        setProgressPosition(window, 1);
        setProgressRange(window, 0, 400);
    }
    if (!languageRestart())
        verifyIntegrity(window);

    const bool reuseDirectory = languageRestart() && reuseRestartDirectory();
    if (!reuseDirectory) {
        createInstallerExtractionDirectory();
        addNativeLibraryDirectories();
        changeToExtractionDirectory();
        extractIncludedFiles(window);
    }
    findIncludedRuntime(reuseDirectory);
    chooseRuntime(window);
    changeToExtractionDirectory();
    prepareRuntime(window, reuseDirectory);
    if (!reuseDirectory)
        restorePackedPayloadFiles();
    if (extractAndExit())
        writeUnextractedPositionAndExit();

    // Without a runtime there is no VM to start (a download dialog ended some other way).
    if (!vmLibraryLoaded()) {
        logError(L"Could not start JVM");
        fatalMessage(kVmNotStartedMessage);
    }
    if (window)
        startJavaWindowWait(window);
    setStartMarkers(window);
    if (!launchProgram(processArguments(), true)) {
        logError(L"Could not start JVM");
        fatalMessage(kVmNotStartedMessage);
    }
    return 0;
}
