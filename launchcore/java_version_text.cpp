#include "launchcore/java_version_text.h"

#include <algorithm>

#include "launchcore/text.h"

namespace {

constexpr size_t kVersionLineScanLimit = 20;
// The line buffer of the version query: 99 characters including the line feed.
constexpr size_t kVersionLineLength = 99;

std::string withSlashes(std::string_view path)
{
    std::string text(path);
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

} // namespace

std::optional<std::string> versionFromJavaOutput(std::string_view output)
{
    static constexpr std::string_view prefixes[] = {"java version \"", "openjdk version \""};
    size_t start = 0;
    for (size_t lineNumber = 0; lineNumber < kVersionLineScanLimit && start < output.size(); ++lineNumber) {
        size_t end = output.find('\n', start);
        std::string line(output.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        start = end == std::string_view::npos ? output.size() : end + 1;
        // Text mode turns CR LF into LF; a line ends with its LF, as fgets leaves it.
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (end != std::string_view::npos)
            line.push_back('\n');
        if (line.size() > kVersionLineLength)
            line.resize(kVersionLineLength);
        for (std::string_view prefix : prefixes) {
            if (!startsWith(line, prefix))
                continue;
            const std::string rest = line.substr(prefix.size());
            if (rest.size() <= 2)
                return std::nullopt;
            return rest.substr(0, rest.size() - 2);
        }
    }
    return std::nullopt;
}

bool isPreReleaseVersion(std::string_view version)
{
    return version.find("beta") != std::string_view::npos || version.find("ea") != std::string_view::npos ||
           version.find("rc") != std::string_view::npos;
}

bool isUsableCachedVersion(std::string_view version)
{
    return version != "1.0.0" && version != "1.7." && version != "1.6." && version != "1.5.";
}

std::string binDirectoryOf(std::string_view javaExe)
{
    const size_t slash = javaExe.find_last_of('\\');
    return slash == std::string_view::npos ? std::string() : std::string(javaExe.substr(0, slash));
}

std::string windowedJavaExe(std::string_view javaExe)
{
    const size_t slash = javaExe.find_last_of('\\');
    const std::string_view name = slash == std::string_view::npos ? javaExe : javaExe.substr(slash + 1);
    std::string lowered(name);
    for (char& c : lowered)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (lowered != "java.exe")
        return std::string(javaExe);
    return std::string(javaExe.substr(0, javaExe.size() - 4)) + "w.exe";
}

bool isFallbackAbsolutePath(std::string_view text)
{
    return text.size() >= 2 && (text[1] == ':' || (text[0] == '\\' && text[1] == '\\'));
}

std::vector<SearchEntry> splitSearchSequence(std::string_view sequence)
{
    std::vector<SearchEntry> entries;
    for (const std::string& item : splitSkippingEmpty(sequence, ';'))
        entries.push_back(SearchEntry{item[0], item.substr(1)});
    return entries;
}

std::string versionCacheKey(std::string_view javaExe)
{
    return "SOFTWARE\\brenmark\\vexon\\jvms\\" + withSlashes(javaExe);
}

std::string locatedJvmKey(std::string_view javaExe) { return std::string(kLocatedJvmsKey) + "\\" + withSlashes(javaExe); }

std::string locatedJvmPath(std::string_view subkeyName)
{
    std::string path(subkeyName);
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string versionQueryCommand(std::string_view javaExe)
{
    std::string command;
    command.reserve(javaExe.size() + 12);
    command.append("\"").append(javaExe).append("\" -version");
    return command;
}

std::vector<std::string> registryTrialOrder(std::vector<std::string> names)
{
    // Plain byte order, not version order: peers sharing these keys pick the same runtime.
    std::sort(names.begin(), names.end(), std::greater<>());
    return names;
}

std::string firstLineOf(std::string_view bytes, size_t limit)
{
    if (limit == 0)
        return {};
    std::string line(bytes.substr(0, std::min(bytes.size(), limit - 1)));
    const size_t newline = line.find('\n');
    if (newline != std::string::npos)
        line.resize(newline + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    return line;
}
