#include "launchcore/windows/vm_options.h"

#include <windows.h>

#include <share.h>

#include <memory>
#include <utility>

#include "launchcore/command_line.h"
#include "launchcore/configuration.h"
#include "launchcore/configuration_entries.h"
#include "launchcore/text.h"
#include "launchcore/vm_option_grammar.h"
#include "launchcore/windows/messages/message_texts.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/path_list.h"
#include "launchcore/windows/exit/fatal_exit.h"
#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/process_paths.h"
#include "launchcore/windows/state/selected_runtime.h"
#include "launchcore/windows/base/system_text.h"
#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/variable_expansion.h"

namespace {

// The files being read, outermost first, each as a normalised full path (empty when the
// path is not known) or the name it was opened by, from which that path is made once an
// include needs it. Includes that lead back to one of them, or nest deeper than the limit,
// are skipped: without this a file that includes itself recurses until the stack overflows.
struct FileBeingRead {
    std::wstring key;
    std::wstring openedAs;
};
std::vector<FileBeingRead> g_filesBeingRead;

// One spelling per file: "a\..\b.vmoptions", "B.VMOPTIONS" and an 8.3 name all meet here,
// and the comparison ignores case as the file system does.
std::wstring includeKey(const std::wstring& path)
{
    std::wstring full = fullPathName(path);
    if (full.empty())
        full = path;
    std::wstring longForm =
        longPathName(full);
    return longForm.empty() ? full : longForm;
}

bool samePath(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool includeAllowed(const std::wstring& key)
{
    if (g_filesBeingRead.size() >= kMaxIncludeDepth)
        return false;
    for (FileBeingRead& reading : g_filesBeingRead) {
        if (reading.key.empty() && !reading.openedAs.empty())
            reading.key = includeKey(reading.openedAs);
        if (!reading.key.empty() && samePath(reading.key, key))
            return false;
    }
    return true;
}

unique_stdio_file openForReading(const std::wstring& path)
{
    return unique_stdio_file(_wfsopen(path.c_str(), L"rt", _SH_DENYNO));
}

// A whole line of any length (without its "\n"); false at the end of the file.
bool readWholeLine(FILE* file, std::string& line)
{
    line.clear();
    int c = std::getc(file);
    if (c == EOF)
        return false;
    while (c != EOF && c != '\n') {
        line.push_back(static_cast<char>(c));
        c = std::getc(file);
    }
    return true;
}

void includeOptionsFile(const std::wstring* includingFile, const std::wstring& written, OptionList& options,
                        ClasspathSlots& slots)
{
    std::wstring expanded = written;
    expandLauncherVariablesWide(expanded, false);
    logLine(L"after exp from %s %s", expanded.c_str(), written.c_str());
    const std::wstring resolved = resolvePath(expanded, false, includingFile ? includingFile->c_str() : nullptr);
    std::wstring key = includeKey(resolved);
    if (!includeAllowed(key)) {
        logError(L"vmoptions include skipped %s", resolved.c_str());
        return;
    }
    VmOptionsFile file = openVmOptionsFile(resolved);
    file.key = std::move(key);
    logLine(L"adding vmoptions from (%p) <%s> (%s)", static_cast<void*>(file.stream.get()), resolved.c_str(),
            expanded.c_str());
    readVmOptionsFile(std::move(file), options, slots);
    logLine(L"adding vmoptions 2");
    logLine(L"adding vmoptions 3");
}

// Expands an option text, splits it into words and passes them on by the word rule.
void addOptionText(std::wstring text, OptionList& options, ClasspathSlots& slots, const wchar_t* logText)
{
    expandLauncherVariablesWide(text, true);
    std::vector<std::u16string> words;
    splitCommandLine(toU16(text), words);
    if (logText)
        logLine(L"%s", logText);
    for (const std::u16string& line : optionLinesFromWords(words))
        processOptionLine(nullptr, toWide(line), options, slots);
}

void addVersionSpecificOptions(OptionList& options, ClasspathSlots& slots)
{
    const int32_t count = configInt(config_entry::kVersionOptionLineCount);
    if (count <= 0)
        return;
    const std::string& version = selectedRuntimeVersion();
    logLine(L"check %d version specific vm option lines for %S", count, version.c_str());
    if (version.empty())
        return;
    for (int64_t i = 0; i < count; ++i) {
        const int64_t prefixId = config_entry::kFirstVersionPrefix + 2 * i;
        if (prefixId + 1 > INT32_MAX)
            return;
        const std::string& prefix = configValue(static_cast<int32_t>(prefixId));
        const bool matches = versionPrefixMatches(version, prefix);
        logLine(L"checking version %S %d", prefix.c_str(), matches ? 1 : 0);
        if (!matches)
            continue;
        const std::wstring text = configStringWide(static_cast<int32_t>(prefixId + 1));
        logLine(L"adding specific %s", text.c_str());
        addOptionText(text, options, slots, nullptr);
        return;
    }
}

// The name a directory listing gives in 8-bit form: a long name with characters outside the
// code page comes back with "?", which no file system accepts, so the short name stands in.
std::string listedName(const WIN32_FIND_DATAA& data)
{
    std::string name = data.cFileName;
    if (name.find('?') != std::string::npos && data.cAlternateFileName[0] != '\0')
        return data.cAlternateFileName;
    return name;
}

} // namespace

void processOptionLine(const std::wstring* includingFile, const std::wstring& line, OptionList& options,
                       ClasspathSlots& slots)
{
    const std::u16string text = toU16(line);
    const OptionLine parsed = classifyOptionLine(text);
    switch (parsed.kind) {
    case OptionLineKind::Include:
        includeOptionsFile(includingFile, toWide(parsed.text), options, slots);
        break;
    case OptionLineKind::ClasspathReplacement:
        slots.replacement = narrowAnsi(toWide(parsed.text));
        break;
    case OptionLineKind::ClasspathPrefix:
        slots.prefix = narrowAnsi(toWide(parsed.text));
        break;
    case OptionLineKind::ClasspathSuffix:
        slots.suffix = narrowAnsi(toWide(parsed.text));
        break;
    case OptionLineKind::Option:
        options.push_back(narrowAnsi(line));
        break;
    }
}

VmOptionsFile openVmOptionsFile(const std::wstring& path)
{
    VmOptionsFile file;
    file.stream = openForReading(path);
    file.path = path;
    file.openedAs = path;
    return file;
}

void readVmOptionsFile(VmOptionsFile file, OptionList& options, ClasspathSlots& slots)
{
    if (!file.stream)
        return;
    g_filesBeingRead.push_back({std::move(file.key), std::move(file.openedAs)});
    const std::wstring* includingFile = file.path ? &*file.path : nullptr;
    std::string raw;
    while (readWholeLine(file.stream.get(), raw)) {
        const std::optional<std::string> line = vmOptionsFileLine(raw);
        if (!line)
            continue;
        std::wstring wide = widenAnsi(*line);
        expandLauncherVariablesWide(wide, true);
        processOptionLine(includingFile, wide, options, slots);
    }
    g_filesBeingRead.pop_back();
}

VmOptionsFile openDefaultVmOptionsFile()
{
    const std::wstring reported = moduleFileName();
    for (const std::wstring* executable : {&moduleLongPath(), &reported}) {
        const std::vector<std::u16string> candidates = vmOptionsFileCandidates(toU16(*executable));
        for (size_t i = 0; i < candidates.size(); ++i) {
            const std::wstring candidate = toWide(candidates[i]);
            VmOptionsFile file;
            file.stream = openForReading(candidate);
            void* shown = file.stream.get();
            if (candidates.size() == 2 && i == 0)
                logLine(L"vmoptions2: exe %s file: %s, file: %p", executable->c_str(), candidate.c_str(), shown);
            else
                logLine(L"vmoptions: opts2: %s, file: %p", candidate.c_str(), shown);
            if (file.stream) {
                // Read without a path, but it still takes part in the cycle check.
                file.openedAs = candidate;
                return file;
            }
        }
    }
    return {};
}

void collectConfiguredVmOptions(const std::vector<std::wstring>& programArguments, OptionList& options,
                                ClasspathSlots& slots)
{
    addOptionText(configStringWide(config_entry::kVmOptions), options, slots, L"adding options");
    addVersionSpecificOptions(options, slots);

    std::vector<std::u16string> arguments;
    arguments.reserve(programArguments.size());
    for (const std::wstring& argument : programArguments)
        arguments.push_back(toU16(argument));

    if (configInt(config_entry::kDashJVmOptions) != 0)
        for (const std::u16string& line : javaOptionArguments(arguments))
            processOptionLine(nullptr, toWide(line), options, slots);

    char language[3] = {};
    char country[3] = {};
    const std::string languageText = languageCode(language) ? language : "";
    const std::string countryText = countryCode(country) ? country : "";
    for (const std::u16string& line : localeOptionLines(arguments, languageText, countryText))
        processOptionLine(nullptr, toWide(line), options, slots);
}

void joinModuleOptions(OptionList& options) { mergeModuleOptions(options); }

void appendPathEntries(int32_t entryId, std::string& path)
{
    const std::string& list = configValue(entryId);
    logLine(L"entry %S", list.c_str());
    const std::vector<std::string> entries = splitSkippingEmpty(list, ';');
    logLine(L"entries %d", static_cast<int>(entries.size()));

    for (const std::string& text : entries) {
        std::optional<PathEntry> entry = parsePathEntry(text);
        if (!entry) {
            logLine(L"ignoring path entry %S", text.c_str());
            continue;
        }
        expandLauncherVariables(entry->name);
        const std::string& name = entry->name;
        bool found = false;
        switch (entry->type) {
        case 'A':
        case 'D': {
            // A list is there when every one of its pieces is; the joined text never names a file.
            bool everyPieceExists = true;
            size_t pieces = 0;
            path += pathList(name, [&](const std::string& piece) {
                ++pieces;
                if (!pathExists(piece))
                    everyPieceExists = false;
            });
            path += ';';
            found = pieces > 0 && everyPieceExists;
            break;
        }
        case 'E': {
            const std::optional<std::string> value = environmentVariable(name.c_str());
            if (!value) {
                if (!entry->required)
                    continue;
                fatalMessage(1008, name.c_str());
            }
            path += environmentPathText(*value);
            found = true;
            break;
        }
        case 'S': {
            const std::string directory = resolvePath(name);
            if (entryId == config_entry::kClassPath) {
                found = appendArchivesOfDirectory(directory, "jar", path);
                appendArchivesOfDirectory(directory, "zip", path);
            } else {
                path += directory;
                path += ';';
                found = pathExists(directory);
            }
            break;
        }
        default:
            logLine(L"unknown path entry type %c", static_cast<wchar_t>(static_cast<unsigned char>(entry->type)));
            if (!entry->required)
                continue;
            break;
        }
        if (!found && entry->required)
            fatalMessage(1006, name.c_str());
    }
}

bool appendArchivesOfDirectory(const std::string& directory, const std::string& extension, std::string& path)
{
    if (!pathExists(directory))
        return false;
    WIN32_FIND_DATAA data;
    const unique_find find(FindFirstFileA(archiveSearchPattern(directory, extension).c_str(), &data));
    if (!find)
        return true;
    do {
        // The wildcard also matches short names, so "b.jarold" (short "BJAROL~1.JAR")
        // answers "*.jar"; only the long name decides.
        if (!hasArchiveExtension(data.cFileName, extension))
            continue;
        path += resolvePath(directory + "\\" + listedName(data));
        path += ';';
    } while (FindNextFileA(find.get(), &data));
    return true;
}
