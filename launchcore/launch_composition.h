// What the VM start hands to the Java side, composed from plain inputs: the launcher
// properties at the head of the VM option list, the class-path and module options, and the
// String array for the launcher class's main.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The inputs of the launcher properties, gathered by the launcher from its process state.
struct LauncherPropertyInputs {
    std::string semaphoreName;       // empty outside single-instance mode
    bool manualRuntimeChoice = false;
    bool sealdeckKind = false;
    bool runningAsService = false;   // the service launcher as a Windows service
    std::string modulePath;          // the 8-bit module path
    std::string extractionDirectory; // empty when there is none
    int64_t unextractedPosition = 0; // -1 in a language restart that did not extract
    std::string pathVariable;        // the current PATH value
    bool manpathSet = false;
    unsigned consoleCodePage = 0;
};

// The "-D" options, in their fixed order, each only when its condition holds.
std::vector<std::string> launcherProperties(const LauncherPropertyInputs& inputs);

// The inputs of the launcher arguments.
struct LauncherArgumentInputs {
    bool guiApplication = false;          // entry 107 is 1
    std::u16string mainClass;             // entry 122, widened
    bool moduleMainClass = false;         // entry 133
    std::u16string standardErrorFile;     // already expanded and resolved; empty when off
    std::u16string standardOutputFile;
    bool flag106 = false;
    std::vector<std::u16string> argumentVector; // the launcher's own; element 0 the program
    std::u16string programFallback;       // the module's long path, for an empty vector
    std::u16string configuredArguments;   // entry 124, expanded
    bool filterVmArguments = false;       // entry 125: "-J" arguments are VM options
};

// The String array for main: five launcher values, the program, entry 124's arguments and
// the user's arguments.
std::vector<std::u16string> launcherArguments(const LauncherArgumentInputs& inputs);

// The runtime package the Java side opens to the application's module.
const char* runtimePackageName(bool sealdeckKind);

// "--module-path=" (when the module path is not empty), the "--add-opens" for a module main
// class and the "--add-modules" option, appended in that order.
void appendModuleOptions(std::vector<std::string>& options, const std::string& modulePath, bool moduleMainClass,
                         std::string_view mainClassEntry, bool sealdeckKind);

// "-Xrs" for a service (once: an option list that has it keeps it alone) and the
// no-redirection property of the "run" command.
void appendServiceOptions(std::vector<std::string>& options, bool runningAsService, bool runCommand);

// What the class path is built from. The two callbacks reach the file system and the
// configuration: archives appends "<dir>\<name>;" per file of an extension, configured
// appends the path entries of a configuration entry (121 or 132).
struct ClassPathSources {
    std::optional<std::string> replacement;
    std::optional<std::string> prefix;
    std::optional<std::string> suffix;
    std::string extractionDirectory;
    bool moduleMainClass = false;
    // The service launcher's runtime jar (sealdeck kind); empty when none.
    std::string runtimeJar;
    std::function<void(const std::string& directory, const std::string& extension, std::string& target)> archives;
    std::function<void(int32_t entryId, std::string& target)> configured;
};

// The module path text and the whole "-Djava.class.path=" option.
struct ClassPathResult {
    std::string modulePath;
    std::string classPathOption;
};
ClassPathResult composeClassPath(const ClassPathSources& sources);
