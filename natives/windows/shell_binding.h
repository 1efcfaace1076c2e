// The two shell32 functions several natives share: the change notification and
// ShellExecuteW. shell32 is bound at first use (after the DLL preload), from the system
// directory only.
#pragma once

#include <windows.h>

using ShellChangeNotifyFunction = void(WINAPI*)(LONG event, UINT flags, LPCVOID item1, LPCVOID item2);
using ShellExecuteFunction = HINSTANCE(WINAPI*)(HWND owner, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters,
                                                LPCWSTR directory, INT show);

struct ShellBinding {
    ShellChangeNotifyFunction changeNotify = nullptr;
    ShellExecuteFunction execute = nullptr;
    // Usable only with both: a shell32 lacking one is not the one these natives were made for.
    bool ready() const { return changeNotify && execute; }
};

// SHChangeNotify and ShellExecuteW as the module exports them; either may be missing.
ShellBinding shellBindingOf(HMODULE module);

// The process's binding, made once (thread-safe) and never reset.
const ShellBinding& shellBinding();

// SHChangeNotify when the binding is ready; nothing otherwise.
void shellNotify(const ShellBinding& binding, LONG event, UINT flags, LPCVOID item1, LPCVOID item2);
// ShellExecuteW's result when the binding is ready; 0 otherwise.
HINSTANCE shellExecute(const ShellBinding& binding, HWND owner, LPCWSTR operation, LPCWSTR file,
                       LPCWSTR parameters, LPCWSTR directory, INT show);
