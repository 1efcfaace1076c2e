// Launcher variables (${launcher:...}, environment references) in configuration texts.
#pragma once

#include <string>

// Expands the launcher variables of text in place; with useNarrowForms the 8-bit forms of
// the directories are used, so the result survives a later conversion to 8-bit text.
void expandLauncherVariablesWide(std::wstring& text, bool useNarrowForms);
void expandLauncherVariables(std::string& text);
