// The download dialog (resource 104): the notice that no runtime was found, with the
// version limits, and the choices Download, Locate and Cancel.
#pragma once

#include <windows.h>

#include <string>

inline constexpr int kDownloadDialog = 104;
inline constexpr int kDownloadButton = 1004;
inline constexpr int kLocateButton = 1005;

// The dialog's notice: message 20005 (with a URL) or 20006, formatted with the bitness,
// followed by the configured version limits.
std::wstring downloadDialogText(bool withUrl);

// lParam of WM_INITDIALOG: non-zero when a download URL is configured.
INT_PTR CALLBACK downloadDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
