// The native of the VistaTaskDialog class: a task dialog with the Java side's buttons, an
// optional verification check box, and a timer that keeps it above the window it belongs to.
#include <windows.h>

#include <commctrl.h>

#include <optional>
#include <string>
#include <vector>

#include "launchcore/windows/base/late_binding.h"
#include "natives/windows/native_export.h"

namespace {

static_assert(sizeof(TASKDIALOGCONFIG) == 160, "the task dialog's configuration as comctl32 reads it");

using TaskDialogIndirectFunction = HRESULT(WINAPI*)(const TASKDIALOGCONFIG* config, int* button, int* radioButton,
                                                     BOOL* verified);

TaskDialogIndirectFunction taskDialogIndirect()
{
    // Only version 6 of the common controls has it; the launcher's manifest asks for that one.
    static const auto function = lateBound<TaskDialogIndirectFunction>(L"comctl32.dll", "TaskDialogIndirect");
    return function;
}

// The Java side's buttons are numbered from here; its results count them from 1.
constexpr int kFirstButtonId = 101;
// The answer when no button of the Java side ended the dialog, or the dialog failed.
constexpr jint kNoButton = 1000;
// The dialog is raised without activation from this tick on, so it stops taking the focus
// from whatever the user turned to.
constexpr int kActivatingTicks = 5;

struct Keeper {
    HWND owner = nullptr;
    int ticks = 0;
};

HRESULT CALLBACK keepAboveOwner(HWND dialog, UINT notification, WPARAM, LPARAM, LONG_PTR data)
{
    if (notification != TDN_TIMER)
        return S_OK;
    auto* keeper = reinterpret_cast<Keeper*>(data);
    UINT flags = SWP_NOSIZE | SWP_NOMOVE;
    if (keeper->ticks >= kActivatingTicks)
        flags |= SWP_NOACTIVATE;
    SetWindowPos(dialog, keeper->owner, 0, 0, 0, 0, flags);
    ++keeper->ticks;
    return S_OK;
}

jint resultCode(int button, bool verified)
{
    const jint code = button >= kFirstButtonId ? button - (kFirstButtonId - 1) : kNoButton;
    return verified ? -code : code;
}

} // namespace

// 0 when the system has no task dialog.
SLDK_NATIVE_EXPORT(jint, VistaTaskDialog, show0)(JNIEnv* env, jobject, jlong ownerWindow, jstring title,
                                                 jstring mainInstruction, jstring content, jint extraFlags,
                                                 jint mainIcon, jint width, jstring verificationText,
                                                 jobjectArray buttonLabels, jint defaultButton)
{
    const TaskDialogIndirectFunction show = taskDialogIndirect();
    if (!show)
        return 0;
    const JavaText caption(env, title), instruction(env, mainInstruction),
        text(env, content), verification(env, verificationText);
    for (const JavaText* each : {&caption, &instruction, &text, &verification})
        if (!each->ok())
            return kNoButton;
    std::vector<std::optional<std::u16string>> labels;
    if (buttonLabels && !readStringArray(env, buttonLabels, labels))
        return kNoButton;
    std::vector<TASKDIALOG_BUTTON> buttons;
    for (size_t i = 0; i < labels.size(); ++i)
        buttons.push_back({kFirstButtonId + static_cast<int>(i),
                           labels[i] ? reinterpret_cast<const wchar_t*>(labels[i]->c_str()) : L""});

    const HWND owner = handleFromJava<HWND>(ownerWindow);
    Keeper keeper{owner, 0};
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = owner;
    config.dwFlags = static_cast<TASKDIALOG_FLAGS>(extraFlags) | TDF_USE_HICON_MAIN | TDF_CALLBACK_TIMER;
    if (owner && !IsIconic(owner))
        config.dwFlags |= TDF_POSITION_RELATIVE_TO_WINDOW;
    config.pszWindowTitle = caption.wide();
    // A shared system icon: it is never destroyed.
    config.hMainIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(mainIcon & 0xFFFF));
    config.pszMainInstruction = instruction.wide();
    config.pszContent = text.wide();
    config.cButtons = static_cast<UINT>(buttons.size());
    config.pButtons = buttons.empty() ? nullptr : buttons.data();
    // An index outside the buttons names no button; the dialog then takes its first one.
    config.nDefaultButton = static_cast<int>(static_cast<unsigned>(defaultButton) + kFirstButtonId);
    config.pszVerificationText = verification.wide();
    config.cxWidth = static_cast<UINT>(width);
    if (owner) {
        config.pfCallback = keepAboveOwner;
        config.lpCallbackData = reinterpret_cast<LONG_PTR>(&keeper);
    }

    int button = 0;
    BOOL verified = FALSE;
    if (FAILED(show(&config, &button, nullptr, &verified)))
        return resultCode(0, verified != FALSE);
    return resultCode(button, verified != FALSE);
}
