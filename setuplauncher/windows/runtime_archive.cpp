#include "setuplauncher/windows/runtime_archive.h"

#include <string>

#include "launchcore/configuration.h"
#include "launchcore/configuration_entries.h"
#include "launchcore/windows/JavaVMLauncher.h"
#include "launchcore/windows/base/system_text.h"
#include "launchcore/windows/exit/fatal_exit.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/log/temporary_directory.h"
#include "launchcore/windows/pack200.h"
#include "setuplauncher/windows/packed_runtime_progress.h"
#include "setuplauncher/windows/untar_archive.h"

namespace {

constexpr const char* kRuntimeArchive = "jre.tar.gz";
constexpr const char* kRuntimeDirectory = "jre";
constexpr size_t kRuntimePathLimit = 6000;
// The rights message: a temporary directory found only by the relaxed search points at a
// user without the rights a runtime needs, more likely than a broken runtime.
constexpr int kInsufficientRightsMessage = 1015;

} // namespace

void prepareIncludedRuntime(HWND window)
{
    const DWORD start = GetTickCount();
    logLine(L"extracting JRE");
    if (!CreateDirectoryA(kRuntimeDirectory, nullptr))
        logError(L"Could not create JRE dir");
    if (!untarArchive(kRuntimeArchive, kRuntimeDirectory, window, configInt(config_entry::kRuntimeArchiveSize))) {
        logError(L"Could not untar JRE");
        fatalError(L"The bundled JRE is corrupted. If you downloaded the setup file please download it again.");
    }
    DeleteFileA(kRuntimeArchive);
    const DWORD untarMs = GetTickCount() - start;

    if (configInt(config_entry::kRuntimePack200) != 0) {
        logLine(L"JRE is packed");
        startPackedRuntimeProgress(window, untarMs);
        unpackJarPacks(kRuntimeDirectory);
        unpackJarPacks(std::string(kRuntimeDirectory) + "\\jre");
        finishPackedRuntimeProgress();
    }
    loadIncludedRuntime();
}

void loadIncludedRuntime()
{
    std::string location = fullPathName(std::string(kRuntimeDirectory));
    if (location.empty() || location.size() >= kRuntimePathLimit)
        location = kRuntimeDirectory;
    logLine(L"JRE dir: %S", location.c_str());
    if (LoadDLL(false, location.c_str(), false))
        return;
    logError(L"Could not load bundled JRE. Trying to find another JRE.");
    if (LoadDLL(false, nullptr, false))
        return;
    logError(L"Could not find another JRE.");
    if (temporaryDirectoryFallbackUsed())
        fatalMessage(kInsufficientRightsMessage);
    fatalError(L"Could not use bundled JRE. Please send this log file to your software vendor:");
}
