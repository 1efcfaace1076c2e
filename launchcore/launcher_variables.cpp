#include "launchcore/launcher_variables.h"

#include <optional>

namespace {

struct FixedPattern {
    const char* text;
    LauncherValue value;
};

// The order is part of the behaviour: a value inserted by an earlier pattern is searched by
// every later one, and packaged configurations rely on it.
constexpr FixedPattern kFixedPatterns[] = {
    {"%VEXON_EXEDIR%", LauncherValue::LauncherDirectory},
    {"%SEALDECK_EXEDIR%", LauncherValue::LauncherDirectory},
    {"%VEXON_TEMPDIR%", LauncherValue::ExtractionDirectory},
    {"%SEALDECK_TEMPDIR%", LauncherValue::ExtractionDirectory},
    {"%VEXON_PATHLIST_SEPARATOR%", LauncherValue::PathListSeparator},
    {"%SEALDECK_PATHLIST_SEPARATOR%", LauncherValue::PathListSeparator},
    {"%VEXON_JVM_HOME%", LauncherValue::RuntimeHome},
    {"%SEALDECK_JVM_HOME%", LauncherValue::RuntimeHome},
    {"${VEXON_EXEDIR}", LauncherValue::LauncherDirectory},
    {"${SEALDECK_EXEDIR}", LauncherValue::LauncherDirectory},
    {"${VEXON_TEMPDIR}", LauncherValue::ExtractionDirectory},
    {"${SEALDECK_TEMPDIR}", LauncherValue::ExtractionDirectory},
    {"${VEXON_PATHLIST_SEPARATOR}", LauncherValue::PathListSeparator},
    {"${SEALDECK_PATHLIST_SEPARATOR}", LauncherValue::PathListSeparator},
    {"${VEXON_JVM_HOME}", LauncherValue::RuntimeHome},
    {"${SEALDECK_JVM_HOME}", LauncherValue::RuntimeHome},
    {"${launcher:sys.launcherDirectory}", LauncherValue::LauncherDirectory},
    {"${launcher:sys.launcherTempDirectory}", LauncherValue::ExtractionDirectory},
    {"${launcher:sys.pathlistSeparator}", LauncherValue::PathListSeparator},
    {"${launcher:sys.jvmHome}", LauncherValue::RuntimeHome},
    {"${launcher:sys.tempDir}", LauncherValue::TemporaryDirectory},
};

template <typename Char>
std::basic_string<Char> fromAscii(std::string_view text)
{
    return std::basic_string<Char>(text.begin(), text.end());
}

template <typename Char>
Char upperAscii(Char c)
{
    return (c >= Char('a') && c <= Char('z')) ? Char(c - Char('a') + Char('A')) : c;
}

// Replaces every occurrence of pattern, continuing after each inserted value so that a
// value holding its own pattern is not expanded again (and the loop always ends).
template <typename Char>
void replaceAll(std::basic_string<Char>& text, std::basic_string_view<Char> pattern, std::basic_string_view<Char> value,
                LauncherValue kind, const LauncherVariableReport<Char>& report)
{
    if (pattern.empty())
        return;
    size_t position = 0;
    while ((position = text.find(pattern, position)) != std::basic_string<Char>::npos) {
        text.replace(position, pattern.size(), value);
        position += value.size();
        if (report)
            report(kind, pattern, value, text);
    }
}

template <typename Char>
void expand(std::basic_string<Char>& text, const LauncherVariableValues<Char>& values,
            const LauncherVariableReport<Char>& report)
{
    using Text = std::basic_string<Char>;
    const Text separator = fromAscii<Char>(";");
    std::optional<Text> temporaryDirectory;

    for (const FixedPattern& fixed : kFixedPatterns) {
        const Text pattern = fromAscii<Char>(fixed.text);
        if (text.find(pattern) == Text::npos)
            continue;
        const Text* value = nullptr;
        switch (fixed.value) {
        case LauncherValue::LauncherDirectory:
            value = &values.launcherDirectory;
            break;
        case LauncherValue::ExtractionDirectory:
            value = &values.extractionDirectory;
            break;
        case LauncherValue::PathListSeparator:
            value = &separator;
            break;
        case LauncherValue::RuntimeHome:
            value = &values.runtimeHome;
            break;
        case LauncherValue::TemporaryDirectory:
            if (!temporaryDirectory)
                temporaryDirectory = values.temporaryDirectory ? values.temporaryDirectory() : Text();
            value = &*temporaryDirectory;
            break;
        case LauncherValue::Environment:
            break;
        }
        if (value)
            replaceAll<Char>(text, pattern, *value, fixed.value, report);
    }

    for (const Text& entry : values.environment) {
        // "=C:=C:\dir" style entries keep the current directory of a drive; their name
        // starts with the "=".
        const size_t equals = entry.find(Char('='), 1);
        if (equals == Text::npos)
            continue;
        const std::basic_string_view<Char> value(entry.data() + equals + 1, entry.size() - equals - 1);
        Text reference = fromAscii<Char>("${");
        reference.append(entry, 0, equals);
        reference += Char('}');
        replaceAll<Char>(text, reference, value, LauncherValue::Environment, report);

        Text upper = reference;
        for (Char& c : upper)
            c = upperAscii(c);
        // A name already in upper case would otherwise expand a second time whatever its
        // value brought in with its own reference.
        if (upper != reference)
            replaceAll<Char>(text, upper, value, LauncherValue::Environment, report);
    }
}

} // namespace

void expandLauncherVariableText(std::string& text, const LauncherVariableValues<char>& values,
                                const LauncherVariableReport<char>& report)
{
    expand<char>(text, values, report);
}

void expandLauncherVariableText(std::u16string& text, const LauncherVariableValues<char16_t>& values,
                                const LauncherVariableReport<char16_t>& report)
{
    expand<char16_t>(text, values, report);
}
