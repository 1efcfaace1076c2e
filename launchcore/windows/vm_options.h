// The VM option sources: the configured option texts, version-specific lines, "-J"
// arguments, locale options, ".vmoptions" files, and the class-path and module-path lists.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// VM options, one 8-bit text each (the file-API code page).
using OptionList = std::vector<std::string>;

// Set by "-classpath ", "-classpath/p " and "-classpath/a " lines; a later line replaces.
struct ClasspathSlots {
    std::optional<std::string> replacement;
    std::optional<std::string> prefix;
    std::optional<std::string> suffix;
};

// One option line: an include, a class-path slot, or an option. includingFile is the file
// the line came from (relative includes resolve against its directory), or nullptr.
void processOptionLine(const std::wstring* includingFile, const std::wstring& line, OptionList& options,
                       ClasspathSlots& slots);

struct StdioFileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using unique_stdio_file = std::unique_ptr<FILE, StdioFileCloser>;

// An opened ".vmoptions" file. Includes in it resolve against its path; the launcher's own
// file has none (its includes resolve against the launcher directory). The key is the
// file's one spelling for the include-cycle check; when it is empty it is made from
// openedAs only if an include asks for it, since the long form costs a lookup of every
// folder of the path.
struct VmOptionsFile {
    unique_stdio_file stream; // nullptr: no file
    std::optional<std::wstring> path;
    std::wstring key;
    std::wstring openedAs;
};

VmOptionsFile openVmOptionsFile(const std::wstring& path);

// The launcher's own ".vmoptions" file (beside the executable), opened for reading; its
// stream is nullptr when there is none.
VmOptionsFile openDefaultVmOptionsFile();

// Reads the options of an opened file (a missing stream gives nothing) and closes it.
void readVmOptionsFile(VmOptionsFile file, OptionList& options, ClasspathSlots& slots);

// Entry 123, the version-specific line, the "-J" arguments and the locale options, in
// that order. programArguments are the launcher's arguments that go to the application.
void collectConfiguredVmOptions(const std::vector<std::wstring>& programArguments, OptionList& options,
                                ClasspathSlots& slots);

// "--add-opens" followed by another element becomes "--add-opens=<element>" (and the other
// module options likewise).
void joinModuleOptions(OptionList& options);

// Appends the path entries of configuration entry 121 or 132 to path; fatal (message 1006
// or 1008) when a required entry is missing.
void appendPathEntries(int32_t entryId, std::string& path);

// Appends "<directory>\<name>;" for every file with the extension; false when the directory
// does not exist.
bool appendArchivesOfDirectory(const std::string& directory, const std::string& extension, std::string& path);
