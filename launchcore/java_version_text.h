// Text rules of the Java runtime search that need no Windows: the version line of
// "java -version", executable names, the search sequence and the registry key names.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The version text of "java -version" output (raw bytes of its standard error; CR LF is read
// as LF). The first of the first 20 lines that begins with `java version "` or
// `openjdk version "` counts; lines before it are banners such as "Picked up ...". Like a
// 99-character fgets line, the text is the rest of that line including its line feed, minus
// its last two characters: `openjdk version "11.0.2" 2019-01-15` gives `11.0.2" 2019-01-1`.
// No version when no line matches or the rest is too short to leave any text.
std::optional<std::string> versionFromJavaOutput(std::string_view output);

// Early-access, beta and release-candidate builds: "beta", "ea" or "rc" anywhere.
bool isPreReleaseVersion(std::string_view version);

// Versions the cache holds that do not count: "1.0.0" marks a failed query, and a few old
// truncated texts were written by early launchers.
bool isUsableCachedVersion(std::string_view version);

// The directory of an executable without the backslash before the file name; empty when
// the path has no backslash.
std::string binDirectoryOf(std::string_view javaExe);

// The GUI twin of a java executable: "...\java.exe" (any case) becomes "...\javaw.exe";
// every other name, javaw.exe included, stays.
std::string windowedJavaExe(std::string_view javaExe);

// The fallback pass's own absolute test: at least two characters and either a colon second
// or two leading backslashes.
bool isFallbackAbsolutePath(std::string_view text);

struct SearchEntry {
    char letter;
    std::string text;
};

// Entry 128 split at ";" (empty entries skipped): type letter, then its text.
std::vector<SearchEntry> splitSearchSequence(std::string_view sequence);

// The registry keys of the version cache and of the located runtimes for an executable:
// the path with every backslash turned into "/" behind the fixed prefix.
std::string versionCacheKey(std::string_view javaExe);
std::string locatedJvmKey(std::string_view javaExe);
inline constexpr const char* kLocatedJvmsKey = "SOFTWARE\\brenmark\\vexon\\locatedjvms";
// A located-runtime subkey name turned back into an executable path.
std::string locatedJvmPath(std::string_view subkeyName);

// "\"path\" -version": quoted so that a path with spaces never runs a program named after
// its first word.
std::string versionQueryCommand(std::string_view javaExe);

// The order in which registry version keys are tried: byte-wise text order, highest first.
std::vector<std::string> registryTrialOrder(std::vector<std::string> names);

// The first line of a runtime location file, at most limit - 1 bytes, trailing CR and LF
// removed; empty when there is none.
std::string firstLineOf(std::string_view bytes, size_t limit);
