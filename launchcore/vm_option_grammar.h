// The text rules of the VM option sources: option lines, ".vmoptions" lines, the word rule
// of option texts, module options, path entry lists and archive names.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What an option line does. The prefixes are compared case-sensitively and include their
// trailing blank, so "-classpath" alone is an ordinary option.
enum class OptionLineKind {
    Include,              // "-include-options <file>"
    ClasspathReplacement, // "-classpath <path>"
    ClasspathPrefix,      // "-classpath/p <path>"
    ClasspathSuffix,      // "-classpath/a <path>"
    Option,
};

struct OptionLine {
    OptionLineKind kind;
    std::u16string_view text; // the rest after the prefix; the whole line for an option
};

OptionLine classifyOptionLine(std::u16string_view line);

// Include files may nest only this deep (the top file counts as the first level).
constexpr size_t kMaxIncludeDepth = 16;

// One raw line of a ".vmoptions" file (any length): trailing CR and LF removed, then leading
// and trailing spaces. Empty lines and comments ("#" first) give nothing.
std::optional<std::string> vmOptionsFileLine(std::string_view raw);

// The word rule of option texts: a word "-include-options" that is not the last word is
// joined with the next word by one blank; every other word is a line by itself.
std::vector<std::u16string> optionLinesFromWords(const std::vector<std::u16string>& words);

// Every element that is exactly a module option name and has another element after it
// becomes "<name>=<next element>", and the next element is removed, whatever it holds.
void mergeModuleOptions(std::vector<std::string>& options);

// The "-J" program arguments without their "-J", in order.
std::vector<std::u16string> javaOptionArguments(const std::vector<std::u16string>& programArguments);

// The locale lines: the last "-Dsun.locale.formatasdefault=" argument, then (unless it is
// "=true") "-Duser.language=" and "-Duser.country=" for the codes that are not empty.
std::vector<std::u16string> localeOptionLines(const std::vector<std::u16string>& programArguments,
                                              std::string_view languageCode, std::string_view countryCode);

// A version-specific line applies when the version text begins with its prefix (a text
// comparison: "1" also matches "11"; an empty prefix matches every version).
bool versionPrefixMatches(std::string_view version, std::string_view prefix);

// The candidates for the launcher's own ".vmoptions" file: the executable path without its
// last four characters (".exe"), then the whole path, each followed by ".vmoptions".
std::vector<std::u16string> vmOptionsFileCandidates(std::u16string_view executable);

struct PathEntry {
    char type;     // 'A', 'D', 'E', 'S', or anything else (unknown)
    bool required; // second character '1'
    std::string name;
};

// Type letter, required flag and name; nothing for a piece of one character, which has no
// flag. Two characters give an empty name.
std::optional<PathEntry> parsePathEntry(std::string_view entry);

// An "E" entry's value as it goes on a path: enclosing double quotes removed (only when both
// exist, so at least two characters), then ";" unless the text already ends with one.
std::string environmentPathText(std::string_view value);

// The FindFirstFile pattern of a directory's archives: "<directory>\*.<extension>" (no extra
// "." when the extension has one).
std::string archiveSearchPattern(std::string_view directory, std::string_view extension);

// Whether a found long file name really ends in "." plus the extension, ignoring case; the
// wildcard search also matches short (8.3) names, so "x.jarold" can answer "*.jar".
bool hasArchiveExtension(std::string_view fileName, std::string_view extension);
