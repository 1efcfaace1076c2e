#include "setuplauncher/windows/download_dialog.h"

#include <string>

#include "launchcore/configuration.h"
#include "launchcore/configuration_entries.h"
#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/base/wide_format.h"
#include "launchcore/windows/exit/fatal_exit.h"
#include "launchcore/windows/messages/message_texts.h"
#include "setuplauncher/windows/download_formats.h"
#include "setuplauncher/windows/install_started_markers.h"
#include "setuplauncher/windows/progress_window.h"
#include "setuplauncher/windows/runtime_locate.h"

namespace {

constexpr size_t kVersionLimit = 6000;
constexpr int32_t kOfferMessage = 20005;
constexpr int32_t kLocateOnlyMessage = 20006;
constexpr int32_t kDownloadLabel = 20010;
constexpr int32_t kLocateLabel = 20011;
constexpr int32_t kCancelLabel = 20012;
constexpr int32_t kTitleMessage = 20013;
constexpr int32_t kMinimumVersionMessage = 20019;
constexpr int32_t kMaximumVersionMessage = 20020;
// The launcher is a 64-bit program and loads only 64-bit runtimes.
constexpr const char* kBitness = "64";

std::wstring versionLimit(int32_t id)
{
    std::string text(kVersionLimit, '\0');
    text.resize(configString(id, text.data(), text.size()));
    return widenAnsi(text);
}

void initializeDialog(HWND dialog, bool withUrl)
{
    centerWindow(dialog);
    SetWindowTextW(dialog, messageText(kTitleMessage).c_str());
    SetDlgItemTextW(dialog, IDCANCEL, messageText(kCancelLabel).c_str());
    SetDlgItemTextW(dialog, kLocateButton, messageText(kLocateLabel).c_str());
    SetDlgItemTextW(dialog, kDownloadButton, messageText(kDownloadLabel).c_str());
    if (!withUrl)
        ShowWindow(GetDlgItem(dialog, kDownloadButton), SW_HIDE);
    SetDlgItemTextW(dialog, kNoticeControl, downloadDialogText(withUrl).c_str());
}

} // namespace

std::wstring downloadDialogText(bool withUrl)
{
    const std::wstring format = checkedDownloadFormat(withUrl ? kOfferMessage : kLocateOnlyMessage);
    std::wstring text = formatWide(format.c_str(), kBitness);
    const std::wstring minimum = versionLimit(config_entry::kMinimumJavaVersion);
    const std::wstring maximum = versionLimit(config_entry::kMaximumJavaVersion);
    std::wstring limits;
    if (!minimum.empty())
        limits += L" (" + messageText(kMinimumVersionMessage) + L" " + minimum;
    if (!maximum.empty())
        limits += (limits.empty() ? L" (" : L", ") + messageText(kMaximumVersionMessage) + L" " + maximum;
    if (!limits.empty())
        limits += L")";
    return text + limits;
}

INT_PTR CALLBACK downloadDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        initializeDialog(dialog, lParam != 0);
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED)
            return FALSE;
        switch (LOWORD(wParam)) {
        case kLocateButton:
            // A runtime that cannot be used leaves the dialog open for another choice.
            if (locateRuntime(dialog))
                EndDialog(dialog, kLocateButton);
            return FALSE;
        case IDCANCEL:
            setInstallStartedMarkers(false, true, true);
            exitWithCleanup(1);
        default:
            // Download, or Enter (IDOK) when Download is hidden.
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
    default:
        return FALSE;
    }
}
