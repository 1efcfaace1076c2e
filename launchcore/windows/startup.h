// What both launchers do before a Java runtime is looked for.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The process command line (GetCommandLineW) split into its arguments; element 0 is the
// program as typed.
std::vector<std::wstring> processArguments();

// Keep-log and "-temp" switches (the arguments left over become the argument vector of the
// launcher state), the appended data, the product kind, the working directory and the
// keep-log question.
void commonStartup(HINSTANCE instance, std::vector<std::wstring> arguments, bool manualTemporaryDirectoryAllowed);

// The two argument switches of commonStartup. The keep-log switch counts only as element 1
// and is removed (true when it was there). The first "-temp"/"/temp" takes the next element
// as the manual temporary directory: a usable one stays in the vector with its switch, an
// unusable one is removed with it, a switch without a value is removed alone.
bool takeKeepLogSwitch(std::vector<std::wstring>& arguments);
void takeManualTemporaryDirectory(std::vector<std::wstring>& arguments);

void initCommonControls();
