// Finds, reads and presses the dialogs of another process through the window API, as a user
// would see them (message boxes, the progress window).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Moves the calling thread (which must not own windows yet) to a desktop of that name,
// creating it when needed; started with ProcessOptions::desktop set to the same name, a
// launcher's windows are then the ones this thread enumerates and talks to. Under Wine each
// desktop binds its own display driver when it is created, so a desktop first touched by a
// process with an X display shows real windows even if the default one has none.
bool useDesktop(const std::wstring& name);

// The top-level windows that belong to the process.
std::vector<HWND> topLevelWindows(DWORD processId);

// Waits up to timeoutMs for a visible dialog (class "#32770") of the process; nullptr when
// none appeared in time or the process ended first (process may be nullptr).
HWND waitForDialog(DWORD processId, DWORD timeoutMs, HANDLE process = nullptr);
// The same for a visible window of the class (compared without case).
HWND waitForWindowOfClass(DWORD processId, const std::wstring& className, DWORD timeoutMs, HANDLE process = nullptr);

// What the screen shows of the window, as a 24-bit BMP file; false when it cannot be taken.
bool saveWindowPicture(HWND window, const std::wstring& bmpPath);

struct DialogButton {
    int id = 0;
    std::wstring text;
    HWND window = nullptr;
};

struct DialogContents {
    std::wstring caption;
    std::vector<std::wstring> staticTexts; // non-empty static controls, in child order
    std::vector<DialogButton> buttons;
};

// The text of a window of any process (WM_GETTEXT, which Windows marshals across processes).
std::wstring windowText(HWND window);
std::wstring windowClassName(HWND window);

DialogContents readDialog(HWND dialog);

// The message text of a message box: its static texts joined with line breaks.
std::wstring messageBoxText(const DialogContents& contents);

// Presses a button as a click would; false when the dialog has no such button.
bool pressButton(HWND dialog, int buttonId);
// By its text with the "&" mnemonic markers removed, ignoring case ("OK", "Yes").
bool pressButton(HWND dialog, const std::wstring& buttonText);
