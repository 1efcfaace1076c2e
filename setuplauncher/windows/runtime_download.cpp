#include "setuplauncher/windows/runtime_download.h"

#include <string>

#include "launchcore/configuration.h"
#include "launchcore/configuration_entries.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/messages/message_texts.h"
#include "launchcore/windows/state/launcher_state.h"
#include "setuplauncher/windows/download_dialog.h"
#include "setuplauncher/windows/installer_state.h"
#include "setuplauncher/windows/progress_window.h"
#include "setuplauncher/windows/runtime_transfer.h"

namespace {

constexpr size_t kUrlLimit = 6000;

} // namespace

void offerRuntimeDownload(HWND window)
{
    std::wstring url(kUrlLimit, L'\0');
    url.resize(configStringWide(config_entry::kRuntimeDownloadUrl, url.data(), url.size()));
    logLine(L"Download location: %s", url.c_str());

    const bool withoutAsking = configInt(config_entry::kAutoDownloadRuntime) != 0;
    if (withoutAsking ||
        DialogBoxParamW(instanceHandle(), MAKEINTRESOURCEW(kDownloadDialog), window, downloadDialogProc,
                        url.empty() ? 0 : 1) == kDownloadButton) {
        if (!SetCurrentDirectoryA(extractionDirectory().c_str()))
            logError(L"Could not change working dir to %S (%d)", extractionDirectory().c_str(),
                     static_cast<int>(GetLastError()));
        logLine(L"Downloading JRE");
        downloadRuntime(window, url);
        logLine(L"Done");
        setRuntimeAvailable(true);
    }
    if (window && startWithoutWindow())
        closeProgressWindow(window);
}
