#include "launchcore/windows/state/launcher_state.h"

#include <utility>

#include "launchcore/configuration.h"

namespace {
LauncherProgram g_program = LauncherProgram::Setup;
std::vector<std::wstring> g_arguments;
HINSTANCE g_instance = nullptr;
char g_productKind = '\0';
std::string g_extractionDirectory;
bool g_languageRestart = false;
bool g_serviceMode = false;
bool g_noRedirection = false;
bool g_manualRuntimeSwitch = false;
} // namespace

void setLauncherProgram(LauncherProgram program) { g_program = program; }
LauncherProgram launcherProgram() { return g_program; }

void setArgumentVector(std::vector<std::wstring> arguments) { g_arguments = std::move(arguments); }
const std::vector<std::wstring>& argumentVector() { return g_arguments; }

void setInstanceHandle(HINSTANCE instance) { g_instance = instance; }
HINSTANCE instanceHandle() { return g_instance; }

void setProductKindLetter(char kind) { g_productKind = kind; }
char productKindLetter() { return g_productKind; }
const wchar_t* productWordWide() { return isVexonKind(g_productKind) ? L"vexon" : L"sealdeck"; }
const char* productWordAnsi() { return isVexonKind(g_productKind) ? "vexon" : "sealdeck"; }

void setExtractionDirectory(std::string directory) { g_extractionDirectory = std::move(directory); }
const std::string& extractionDirectory() { return g_extractionDirectory; }

void setLanguageRestart(bool restarting) { g_languageRestart = restarting; }
bool languageRestart() { return g_languageRestart; }

void setServiceMode(bool runningAsService) { g_serviceMode = runningAsService; }
bool serviceMode() { return g_serviceMode; }
void setNoRedirection(bool value) { g_noRedirection = value; }
bool noRedirection() { return g_noRedirection; }

void setManualRuntimeSwitch(bool on) { g_manualRuntimeSwitch = on; }
bool manualRuntimeSwitch() { return g_manualRuntimeSwitch; }
