// What both launchers do before a Java runtime is looked for.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The process's argument vector; element 0 is the program as typed.
std::vector<std::wstring>& argumentVector();

// Splits the process command line (GetCommandLineW) into argumentVector().
void splitProcessCommandLine();

// Keep-log and "-temp" switches, the appended data, the product kind, the working directory
// and the keep-log question.
void commonStartup(HINSTANCE instance, std::vector<std::wstring>& arguments, bool manualTemporaryDirectoryAllowed);

// The two argument switches of commonStartup. The keep-log switch counts only as element 1
// and is removed (true when it was there). The first "-temp"/"/temp" takes the next element
// as the manual temporary directory: a usable one stays in the vector with its switch, an
// unusable one is removed with it, a switch without a value is removed alone.
bool takeKeepLogSwitch(std::vector<std::wstring>& arguments);
void takeManualTemporaryDirectory(std::vector<std::wstring>& arguments);

HINSTANCE instanceHandle();

// The product kind letter of entry 2001 and its word ("vexon" or "sealdeck").
char productKindLetter();
const wchar_t* productWordWide();
const char* productWordAnsi();

// Attaches the parent's console or allocates one; true when a console was obtained.
bool attachConsole();
void initCommonControls();
void rebootAfterDelay();
