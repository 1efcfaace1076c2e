#include "launchcore/launch_composition.h"

#include <algorithm>
#include <cstdio>

#include "launchcore/command_line.h"
#include "launchcore/configuration_entries.h"
#include "launchcore/diagnostics.h"

namespace {

std::string property(const char* name, std::string_view value)
{
    std::string text = "-D";
    text += name;
    text += '=';
    text += value;
    return text;
}

bool startsWith(std::u16string_view text, std::u16string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// The main class entry is read into a buffer of 6000 bytes.
constexpr size_t mainClassEntryLimit = 5999;

} // namespace

std::vector<std::string> launcherProperties(const LauncherPropertyInputs& inputs)
{
    std::vector<std::string> properties;
    if (!inputs.semaphoreName.empty())
        properties.push_back(property("vexon.semaphoreName", inputs.semaphoreName));
    if (inputs.manualRuntimeChoice)
        properties.push_back(property("vexon.manualJre", "true"));
    if (inputs.sealdeckKind)
        properties.push_back(property("vexon.isSealdeck", "true"));
    if (inputs.runningAsService)
        properties.push_back(property("vexon.isService", "true"));
    properties.push_back(property("vexon.moduleName", inputs.modulePath));
    properties.push_back(property("sun.java.command", inputs.modulePath));
    properties.push_back(property("vexon.tempDir", inputs.extractionDirectory));
    // Payloads can end beyond 2 GiB, so the position is written with all 64 bits.
    char position[32];
    (void)std::snprintf(position, sizeof position, "%lld", static_cast<long long>(inputs.unextractedPosition));
    properties.push_back(property("vexon.unextractedPosition", position));
    // The VM takes options of any length; cutting PATH would drop a library directory.
    properties.push_back("-Djava.library.path=" + inputs.pathVariable);
    if (!inputs.manpathSet)
        properties.push_back(property("vexon.consoleCodepage", "cp" + std::to_string(inputs.consoleCodePage)));
    return properties;
}

std::vector<std::u16string> launcherArguments(const LauncherArgumentInputs& inputs)
{
    std::vector<std::u16string> arguments;
    arguments.push_back(inputs.guiApplication ? u"true" : u"false");
    arguments.push_back(inputs.moduleMainClass ? u"/" + inputs.mainClass : inputs.mainClass);
    arguments.push_back(inputs.standardErrorFile);
    arguments.push_back(inputs.standardOutputFile);
    arguments.push_back(inputs.flag106 ? u"true" : u"false");
    // The Java side reads the program at a fixed index, so an empty command line still
    // yields one: the launcher's own path.
    arguments.push_back(inputs.argumentVector.empty() ? inputs.programFallback : inputs.argumentVector.front());
    splitCommandLine(inputs.configuredArguments, arguments);
    for (size_t i = 1; i < inputs.argumentVector.size(); ++i) {
        const std::u16string& argument = inputs.argumentVector[i];
        if (inputs.filterVmArguments && startsWith(argument, u"-J"))
            continue;
        if (startsWith(argument, u"-Dsun.locale.formatasdefault="))
            continue;
        arguments.push_back(argument);
    }
    return arguments;
}

const char* runtimePackageName(bool sealdeckKind)
{
    return sealdeckKind ? "com.sealdeck.runtime" : "com.vexon.runtime";
}

void appendModuleOptions(std::vector<std::string>& options, const std::string& modulePath, bool moduleMainClass,
                         std::string_view mainClassEntry, bool sealdeckKind)
{
    const std::string package = runtimePackageName(sealdeckKind);
    if (!modulePath.empty())
        options.push_back("--module-path=" + modulePath);
    std::string modules = "--add-modules=";
    if (moduleMainClass) {
        std::string entry(mainClassEntry.substr(0, mainClassEntryLimit));
        const size_t slash = entry.find('/');
        if (slash != std::string::npos) {
            const size_t lastDot = entry.rfind('.');
            if (lastDot != std::string::npos && lastDot > slash) {
                // module/package.Class: the Java side reaches into the application's package.
                options.push_back("--add-opens=" + entry.substr(0, lastDot) + "=" + package);
            }
            entry.resize(slash);
        }
        modules += entry;
        modules += ',';
    }
    modules += package;
    options.push_back(modules);
}

void appendServiceOptions(std::vector<std::string>& options, bool runningAsService, bool runCommand)
{
    if (runningAsService && std::find(options.begin(), options.end(), "-Xrs") == options.end()) {
        diagnosticLine("service: adding -Xrs");
        options.push_back("-Xrs");
    }
    if (runCommand)
        options.push_back("-Dsealdeck.noRedir=true");
}

ClassPathResult composeClassPath(const ClassPathSources& sources)
{
    ClassPathResult result;
    diagnosticLine("adding preconfigured modulepath");
    if (sources.configured)
        sources.configured(config_entry::kModulePath, result.modulePath);
    std::string classPath = "-Djava.class.path=";
    if (sources.prefix) {
        classPath += *sources.prefix;
        classPath += ';';
    }
    const bool toModulePath = !result.modulePath.empty() || sources.moduleMainClass;
    std::string& target = toModulePath ? result.modulePath : classPath;
    // Without an extraction directory "\user" would name a folder at the root of the current
    // drive, which any user can create: its jars must not reach the class path.
    if (!sources.extractionDirectory.empty() && sources.archives) {
        sources.archives(sources.extractionDirectory, "jar", target);
        sources.archives(sources.extractionDirectory, "zip", target);
        const std::string userDirectory = sources.extractionDirectory + "\\user";
        sources.archives(userDirectory, "jar", classPath);
        sources.archives(userDirectory, "zip", classPath);
    }
    if (!sources.runtimeJar.empty()) {
        target += sources.runtimeJar;
        target += ';';
    }
    if (sources.replacement) {
        classPath += *sources.replacement;
    } else {
        diagnosticLine("adding preconfigured classpath");
        if (sources.configured)
            sources.configured(config_entry::kClassPath, classPath);
    }
    if (sources.suffix) {
        if (classPath.empty() || classPath.back() != ';')
            classPath += ';';
        classPath += *sources.suffix;
    }
    result.classPathOption = std::move(classPath);
    return result;
}
