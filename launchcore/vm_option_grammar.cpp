#include "launchcore/vm_option_grammar.h"

#include "launchcore/text.h"

namespace {

constexpr std::u16string_view kIncludeOptions = u"-include-options";

struct LinePrefix {
    std::u16string_view text;
    OptionLineKind kind;
};

constexpr LinePrefix kLinePrefixes[] = {
    {u"-include-options ", OptionLineKind::Include},
    {u"-classpath ", OptionLineKind::ClasspathReplacement},
    {u"-classpath/p ", OptionLineKind::ClasspathPrefix},
    {u"-classpath/a ", OptionLineKind::ClasspathSuffix},
};

constexpr std::string_view kModuleOptionNames[] = {
    "--upgrade-module-path", "--add-modules", "--limit-modules", "--add-exports",
    "--add-opens",           "--add-reads",   "--patch-module",
};

constexpr std::u16string_view kFormatAsDefault = u"-Dsun.locale.formatasdefault=";

bool isModuleOptionName(std::string_view text)
{
    for (std::string_view name : kModuleOptionNames)
        if (text == name)
            return true;
    return false;
}

std::u16string asciiText(std::string_view text)
{
    return std::u16string(text.begin(), text.end());
}

} // namespace

OptionLine classifyOptionLine(std::u16string_view line)
{
    for (const LinePrefix& prefix : kLinePrefixes)
        if (line.starts_with(prefix.text))
            return {prefix.kind, line.substr(prefix.text.size())};
    return {OptionLineKind::Option, line};
}

std::optional<std::string> vmOptionsFileLine(std::string_view raw)
{
    while (!raw.empty() && (raw.back() == '\r' || raw.back() == '\n'))
        raw.remove_suffix(1);
    while (!raw.empty() && raw.front() == ' ')
        raw.remove_prefix(1);
    while (!raw.empty() && raw.back() == ' ')
        raw.remove_suffix(1);
    if (raw.empty() || raw.front() == '#')
        return std::nullopt;
    return std::string(raw);
}

std::vector<std::u16string> optionLinesFromWords(const std::vector<std::u16string>& words)
{
    std::vector<std::u16string> lines;
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i] == kIncludeOptions && i + 1 < words.size()) {
            lines.push_back(words[i] + u' ' + words[i + 1]);
            ++i;
        } else {
            lines.push_back(words[i]);
        }
    }
    return lines;
}

void mergeModuleOptions(std::vector<std::string>& options)
{
    for (size_t i = 0; i + 1 < options.size(); ++i) {
        if (!isModuleOptionName(options[i]))
            continue;
        options[i] += '=';
        options[i] += options[i + 1];
        options.erase(options.begin() + static_cast<std::ptrdiff_t>(i + 1));
    }
}

std::vector<std::u16string> javaOptionArguments(const std::vector<std::u16string>& programArguments)
{
    std::vector<std::u16string> lines;
    for (const std::u16string& argument : programArguments)
        if (argument.starts_with(u"-J"))
            lines.push_back(argument.substr(2));
    return lines;
}

std::vector<std::u16string> localeOptionLines(const std::vector<std::u16string>& programArguments,
                                              std::string_view languageCode, std::string_view countryCode)
{
    const std::u16string* formatAsDefault = nullptr;
    for (const std::u16string& argument : programArguments)
        if (argument.starts_with(kFormatAsDefault))
            formatAsDefault = &argument;
    if (!formatAsDefault)
        return {};

    std::vector<std::u16string> lines{*formatAsDefault};
    if (*formatAsDefault == u"-Dsun.locale.formatasdefault=true")
        return lines;
    if (!languageCode.empty())
        lines.push_back(u"-Duser.language=" + asciiText(languageCode));
    if (!countryCode.empty())
        lines.push_back(u"-Duser.country=" + asciiText(countryCode));
    return lines;
}

bool versionPrefixMatches(std::string_view version, std::string_view prefix)
{
    return version.starts_with(prefix);
}

std::vector<std::u16string> vmOptionsFileCandidates(std::u16string_view executable)
{
    std::vector<std::u16string> candidates;
    if (executable.size() > 4)
        candidates.push_back(std::u16string(executable.substr(0, executable.size() - 4)) + u".vmoptions");
    candidates.push_back(std::u16string(executable) + u".vmoptions");
    return candidates;
}

std::optional<PathEntry> parsePathEntry(std::string_view entry)
{
    if (entry.size() < 2)
        return std::nullopt;
    return PathEntry{entry[0], entry[1] == '1', std::string(entry.substr(2))};
}

std::string environmentPathText(std::string_view value)
{
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    std::string text(value);
    // An empty element on a class path stands for the current directory, so the quoted
    // form must not produce one either.
    if (text.empty() || text.back() != ';')
        text += ';';
    return text;
}

std::string archiveSearchPattern(std::string_view directory, std::string_view extension)
{
    std::string pattern(directory);
    if (pattern.empty() || pattern.back() != '\\')
        pattern += '\\';
    pattern += '*';
    if (!extension.starts_with('.'))
        pattern += '.';
    pattern += extension;
    return pattern;
}

bool hasArchiveExtension(std::string_view fileName, std::string_view extension)
{
    std::string suffix;
    if (!extension.starts_with('.'))
        suffix += '.';
    suffix += extension;
    if (fileName.size() < suffix.size())
        return false;
    return equalsIgnoreAsciiCase(fileName.substr(fileName.size() - suffix.size()), suffix);
}
