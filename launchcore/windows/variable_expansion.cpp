#include "launchcore/windows/variable_expansion.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <memory>

#include "launchcore/launcher_variables.h"
#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/exit/fatal_exit.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/log/temporary_directory.h"
#include "launchcore/windows/process_paths.h"
#include "launchcore/windows/state/launcher_state.h"
#include "launchcore/windows/state/selected_runtime.h"

namespace {

// The environment is read at every expansion: the launcher itself changes PATH on the way.
std::vector<std::u16string> environmentBlockWide()
{
    std::vector<std::u16string> entries;
    const std::unique_ptr<wchar_t, decltype(&FreeEnvironmentStringsW)> block(GetEnvironmentStringsW(),
                                                                            &FreeEnvironmentStringsW);
    if (!block)
        return entries;
    for (const wchar_t* entry = block.get(); *entry; entry += std::wcslen(entry) + 1)
        entries.push_back(toU16(entry));
    return entries;
}

std::vector<std::string> environmentBlockAnsi()
{
    std::vector<std::string> entries;
    const std::unique_ptr<char, decltype(&FreeEnvironmentStringsA)> block(GetEnvironmentStringsA(),
                                                                         &FreeEnvironmentStringsA);
    if (!block)
        return entries;
    for (const char* entry = block.get(); *entry; entry += std::strlen(entry) + 1)
        entries.emplace_back(entry);
    return entries;
}

// The 8-bit forms stand in a path the launcher passes on, so without one it cannot go on.
const std::string& requiredTemporaryDirectoryAnsi()
{
    const std::string& directory = temporaryDirectoryAnsi();
    if (directory.empty())
        fatalMessage(1015);
    return directory;
}

} // namespace

void expandLauncherVariablesWide(std::wstring& text, bool useNarrowForms)
{
    // The narrow forms go through widenAnsi, the exact inverse of the later narrowing, so
    // an 8-bit path with characters outside Latin-1 comes back byte for byte.
    LauncherVariableValues<char16_t> values;
    values.launcherDirectory = toU16(useNarrowForms ? launcherDirectoryWidened() : launcherDirectoryWide());
    values.extractionDirectory = toU16(widenAnsi(extractionDirectory()));
    values.runtimeHome = toU16(widenAnsi(selectedRuntimeHome()));
    values.temporaryDirectory = [useNarrowForms] {
        return toU16(useNarrowForms ? widenAnsi(requiredTemporaryDirectoryAnsi()) : temporaryDirectoryWide());
    };
    values.environment = environmentBlockWide();

    std::u16string expanded = toU16(text);
    expandLauncherVariableText(expanded, values,
                               [](LauncherValue kind, std::u16string_view pattern, std::u16string_view value,
                                  const std::u16string& after) {
                                   const std::wstring patternText = toWide(pattern);
                                   const std::wstring afterText = toWide(after);
                                   // Those two values are 8-bit texts and are logged as such.
                                   if (kind == LauncherValue::ExtractionDirectory) {
                                       logLine(L"expanding2 %s to %S in %s.", patternText.c_str(),
                                               extractionDirectory().c_str(), afterText.c_str());
                                   } else if (kind == LauncherValue::RuntimeHome) {
                                       logLine(L"expanding2 %s to %S in %s.", patternText.c_str(),
                                               selectedRuntimeHome().c_str(), afterText.c_str());
                                   } else {
                                       logLine(L"expanding2 %s to %s in %s.", patternText.c_str(),
                                               toWide(value).c_str(), afterText.c_str());
                                   }
                               });
    text = toWide(expanded);
}

void expandLauncherVariables(std::string& text)
{
    LauncherVariableValues<char> values;
    values.launcherDirectory = launcherDirectoryAnsi();
    values.extractionDirectory = extractionDirectory();
    values.runtimeHome = selectedRuntimeHome();
    values.temporaryDirectory = [] { return requiredTemporaryDirectoryAnsi(); };
    values.environment = environmentBlockAnsi();

    expandLauncherVariableText(text, values,
                               [](LauncherValue, std::string_view pattern, std::string_view value,
                                  const std::string& after) {
                                   const std::string patternText(pattern);
                                   const std::string valueText(value);
                                   logLine(L"expanding2 %S to %S in %S.", patternText.c_str(), valueText.c_str(),
                                           after.c_str());
                               });
}
