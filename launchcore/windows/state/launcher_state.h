// The launcher's process-wide state. Start-up sets each value once, on the main thread,
// before any other thread runs (the VM's, the progress window's, the natives' callers);
// afterwards everything here is only read. The setters exist for the start-up steps (and
// for the unit tests that stand in for them), never for the features.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Which of the two launchers this process is. A few steps differ: the installer looks for
// the runtime its own installer used, registers the natives from its own module and tells
// the Java side its executable; the service launcher loads its natives from a helper
// library and adds library directories to the DLL search only when configured to.
enum class LauncherProgram { Setup, Service };

void setLauncherProgram(LauncherProgram program);
LauncherProgram launcherProgram();

// The process's argument vector as start-up left it (element 0 is the program as typed,
// the start-up switches taken out).
void setArgumentVector(std::vector<std::wstring> arguments);
const std::vector<std::wstring>& argumentVector();

// The module handle the program entry was given.
void setInstanceHandle(HINSTANCE instance);
HINSTANCE instanceHandle();

// The product kind letter of entry 2001 and its word ("vexon" or "sealdeck").
void setProductKindLetter(char kind);
char productKindLetter();
const wchar_t* productWordWide();
const char* productWordAnsi();

// The extraction directory, an 8-bit path; empty when there is none.
void setExtractionDirectory(std::string directory);
const std::string& extractionDirectory();

// A language restart runs in the extraction directory of the first start and keeps it.
void setLanguageRestart(bool restarting);
bool languageRestart();

// The service launcher's run state, read by the VM start: a service gets "-Xrs" and
// vexon.isService; the "run" command keeps the Java side's console streams.
void setServiceMode(bool runningAsService);
bool serviceMode();
void setNoRedirection(bool noRedirection);
bool noRedirection();

// The installer's "-manual" switch, handed to the Java side as a launcher property.
void setManualRuntimeSwitch(bool on);
bool manualRuntimeSwitch();
