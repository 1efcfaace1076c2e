#include "setuplauncher/windows/progress_window.h"

#include <atomic>
#include <mutex>

#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/messages/error_display.h"
#include "launchcore/windows/messages/message_texts.h"
#include "launchcore/windows/state/launcher_state.h"
#include "setuplauncher/windows/install_started_markers.h"
#include "setuplauncher/windows/progress_scale.h"

namespace {

constexpr const wchar_t* kDialogClass = L"MyDialogClass";
constexpr int kInstallerIcon = 1001;
constexpr int32_t kPreparingMessage = 20007;
constexpr int32_t kCancelMessage = 20012;
constexpr int32_t kInstallerTitleMessage = 20013;

// Posted by the worker when the work has ended, so that the window's own thread ends the
// dialog and the program entry returns.
constexpr UINT kWorkDoneMessage = WM_APP + 1;

// One progress window at a time: the work of the one being shown.
std::atomic<ProgressWork> g_work{nullptr};

DWORD WINAPI progressWorker(void* parameter)
{
    g_work.load()(static_cast<HWND>(parameter));
    return 0;
}

void initializeProgressWindow(HWND dialog)
{
    centerWindow(dialog);
    setErrorOwnerWindow(dialog);
    setProgressRange(dialog, 0, 100);
    SetDlgItemTextW(dialog, kNoticeControl, messageText(kPreparingMessage).c_str());
    SetWindowTextW(dialog, messageText(kInstallerTitleMessage).c_str());
    SetDlgItemTextW(dialog, IDCANCEL, messageText(kCancelMessage).c_str());
    unique_handle worker(CreateThread(nullptr, 0, progressWorker, dialog, 0, nullptr));
}

} // namespace

void registerProgressWindowClass()
{
    static std::once_flag registered;
    std::call_once(registered, [] {
        WNDCLASSW windowClass{};
        windowClass.style = CS_DBLCLKS | CS_SAVEBITS | CS_BYTEALIGNWINDOW;
        windowClass.lpfnWndProc = DefDlgProcW;
        windowClass.cbWndExtra = DLGWINDOWEXTRA;
        windowClass.hInstance = instanceHandle();
        windowClass.hIcon = LoadIconW(instanceHandle(), MAKEINTRESOURCEW(kInstallerIcon));
        // IDC_ARROW, as a wide resource name.
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = kDialogClass;
        RegisterClassW(&windowClass);
    });
}

void centerWindow(HWND dialog)
{
    HWND reference = GetParent(dialog);
    if (!reference)
        reference = GetDesktopWindow();
    RECT outer{};
    RECT own{};
    GetWindowRect(reference, &outer);
    GetWindowRect(dialog, &own);
    const int x = outer.left + ((outer.right - outer.left) - (own.right - own.left)) / 2;
    const int y = outer.top + ((outer.bottom - outer.top) - (own.bottom - own.top)) / 2;
    SetWindowPos(dialog, HWND_TOP, x, y, 0, 0, SWP_NOSIZE);
}

void showProgressWindow(ProgressWork work)
{
    g_work = work;
    DialogBoxParamA(instanceHandle(), MAKEINTRESOURCEA(kProgressDialog), nullptr, progressDialogProc, 0);
}

void closeProgressWindow(HWND window) { PostMessageW(window, kWorkDoneMessage, 0, 0); }

INT_PTR CALLBACK progressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        initializeProgressWindow(dialog);
        return TRUE;
    case WM_COMMAND: {
        // Enter (IDOK) counts as Cancel. The extraction directory stays: the worker may be
        // using it until the process ends.
        const int id = LOWORD(wParam);
        if (id != IDOK && id != IDCANCEL)
            return FALSE;
        logLine(L"Canceled installer");
        setInstallStartedMarkers(false, true, true);
        EndDialog(dialog, id);
        return TRUE;
    }
    case kWorkDoneMessage:
        EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}
