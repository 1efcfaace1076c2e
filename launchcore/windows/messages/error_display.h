// The error display: a message box in GUI error mode, otherwise the console or standard
// error, always pointing the user to the log. The fatal variants are in exit/fatal_exit.h.
#pragma once

#include <windows.h>

#include <string>

void showError(const std::wstring& text);

// formatMessage followed by showError.
void showMessage(int id);
void showMessage(int id, const wchar_t* argument);
void showMessage(int id, const char* argument);

// Plain progress text for the console.
void writeConsole(const char* text);

bool guiErrorMode();
void disableGuiErrorMode();
void setErrorOwnerWindow(HWND owner);
void setConsoleAttached(bool attached);
bool consoleAttached();

// Attaches the parent's console or allocates one, and sends console output there from now
// on; true when a console was obtained.
bool attachConsole();

// The keep-log question: shows the log path and offers an Explorer window on it.
void offerToShowLog();

// The text showError shows: the text, then "\n\nLog: " and the long log path when there is a
// log (which marks the log as kept).
std::wstring errorDisplayText(const std::wstring& text);

// The command line that opens an Explorer window with the file selected.
std::wstring explorerSelectCommand(const std::wstring& file);
