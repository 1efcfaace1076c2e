// The progress window: the installer icon, a notice, the progress bar, a status line for a
// download and Cancel, shown modally while a worker thread does the work.
#pragma once

#include <windows.h>

inline constexpr int kProgressDialog = 103;
inline constexpr int kNoticeControl = 1003;
inline constexpr int kStatusLineControl = 1002;

// Registers the window class of the installer's dialogs (once; later calls do nothing).
void registerProgressWindowClass();

// Centres the dialog on its parent, or on the desktop when it has none.
void centerWindow(HWND dialog);

// What the progress window's worker thread runs, with the window as its argument.
using ProgressWork = void (*)(HWND window);

// Shows the progress window modally (no owner) with a worker thread that runs the work;
// returns when the window is closed.
void showProgressWindow(ProgressWork work);

// From a worker thread: closes the progress window through its own thread.
void closeProgressWindow(HWND window);

INT_PTR CALLBACK progressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
