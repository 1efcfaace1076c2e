// The launcher variables of configuration texts ("%SEALDECK_EXEDIR%",
// "${launcher:sys.launcherDirectory}", "${NAME}" for the environment) over values the
// caller supplies, for 8-bit and UTF-16 (char16_t) text.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Which value a pattern stands for; the Windows side logs some of them in their 8-bit form.
enum class LauncherValue {
    LauncherDirectory,
    ExtractionDirectory,
    PathListSeparator,
    RuntimeHome,
    TemporaryDirectory,
    Environment,
};

template <typename Char>
struct LauncherVariableValues {
    using Text = std::basic_string<Char>;
    Text launcherDirectory;   // with its trailing backslash
    Text extractionDirectory; // empty when there is none
    Text runtimeHome;         // empty before a runtime is chosen
    // Asked only when a text names it: finding the temporary directory can end the
    // launcher when there is none, which a text that never uses it must not cause.
    std::function<Text()> temporaryDirectory;
    // "NAME=VALUE" in the order of the environment block. An entry whose only "=" is its
    // first character names no variable.
    std::vector<Text> environment;
};

// Called after every replacement with the pattern, the inserted value and the whole text.
template <typename Char>
using LauncherVariableReport = std::function<void(LauncherValue kind, std::basic_string_view<Char> pattern,
                                                  std::basic_string_view<Char> value, const std::basic_string<Char>& text)>;

// Replaces the patterns in their fixed order: each one is searched from the start of the
// text, every occurrence is replaced and the search goes on after the inserted value, so a
// value is never expanded by its own pattern but is searched by the patterns after it.
// Environment references come last, "${NAME}" and then the same text upper-cased (ASCII).
void expandLauncherVariableText(std::string& text, const LauncherVariableValues<char>& values,
                                const LauncherVariableReport<char>& report = {});
void expandLauncherVariableText(std::u16string& text, const LauncherVariableValues<char16_t>& values,
                                const LauncherVariableReport<char16_t>& report = {});
