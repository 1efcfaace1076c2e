// A launcher run that shows a dialog: started on the dialog desktop, its dialog read and
// answered, then its outcome collected. For the tests that run with the Xvfb display.
#pragma once

#include "testing/dialog_driver.h"
#include "testing/launcher_run.h"

#include <string>
#include <vector>

inline constexpr DWORD kDialogTimeoutMs = 15000;

// The desktop the dialog tests' launchers run on: the default desktop of the shared
// wineserver is bound to no display by the tests that run without one. The name carries
// the X display, so a desktop never outlives the server it was bound to. The first call
// moves the calling thread there.
const std::wstring& dialogDesktop();

struct ShownDialog {
    bool shown = false;
    DialogContents contents;
    ProcessResult result;
    std::vector<std::wstring> logs;
};

// Starts the launcher, waits up to dialogTimeoutMs for its dialog, reads it, presses the
// button and collects the outcome (the run's own timeout is the options').
ShownDialog answerDialog(const std::wstring& launcher, ProcessOptions options, const std::wstring& temp, int button,
                         DWORD dialogTimeoutMs = kDialogTimeoutMs);

// " id:text" for every button, for failure messages.
std::string buttonList(const DialogContents& contents);
