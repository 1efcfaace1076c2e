#include "launchcore/windows/JavaVMLauncher.h"

#include <windows.h>

#include <jni.h>

#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

#include "launchcore/configuration.h"
#include "launchcore/configuration_entries.h"
#include "launchcore/jni_launch.h"
#include "launchcore/launch_composition.h"
#include "launchcore/path_text.h"
#include "launchcore/version_rules.h"
#include "launchcore/windows/base/system_text.h"
#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/exit/fatal_exit.h"
#include "launchcore/windows/jvm_library.h"
#include "launchcore/windows/jvm_search.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/messages/error_display.h"
#include "launchcore/windows/messages/message_texts.h"
#include "launchcore/windows/payload.h"
#include "launchcore/windows/process_paths.h"
#include "launchcore/windows/single_instance.h"
#include "launchcore/windows/state/launcher_state.h"
#include "launchcore/windows/state/selected_runtime.h"
#include "launchcore/windows/variable_expansion.h"
#include "launchcore/windows/vm_options.h"

// jni.h must have taken the Windows definitions from launchcore/jni, not a Linux jni_md.h.
static_assert(std::is_same_v<jint, long> && std::is_same_v<jlong, long long>);

namespace {

using CreateJavaVmFunction = jint(JNICALL*)(JavaVM**, void**, void*);
using RegisterNativesFunction = unsigned char (*)(JNIEnv*, HMODULE, void (*)(const wchar_t*, ...));

CreateJavaVmFunction g_createJavaVm = nullptr;
JavaVM* g_vm = nullptr;
JNIEnv* g_env = nullptr;

bool isSet(int32_t id) { return configInt(id) != 0; }

bool sealdeckKind() { return !isVexonKind(productKindLetter()); }

// The entry cut to the limit the launcher has always read it with.
std::string configText(int32_t id, size_t limit)
{
    std::string text(limit + 1, '\0');
    text.resize(configString(id, text.data(), text.size()));
    return text;
}

std::wstring configTextWide(int32_t id, size_t limit)
{
    std::wstring text = configStringWide(id);
    if (text.size() > limit)
        text.resize(limit);
    return text;
}

void logToDiagnosticLog(bool isError, std::u16string_view line)
{
    const std::wstring text = toWide(line);
    if (isError)
        logError(L"%s", text.c_str());
    else
        logLine(L"%s", text.c_str());
}

const JniLogSink& jniLog()
{
    static const JniLogSink sink = logToDiagnosticLog;
    return sink;
}

// The service launcher's helper directory: the runtime preferences directory against the launcher's directory,
// with a trailing backslash.
std::wstring helperBaseDirectory()
{
    std::wstring base = resolvePath(configTextWide(config_entry::kRuntimePreferencesDirectory, 3999), false);
    if (base.empty() || base.back() != L'\\')
        base += L'\\';
    return base;
}

std::string helperBaseDirectoryAnsi()
{
    std::string base = resolvePath(configText(config_entry::kRuntimePreferencesDirectory, 3999));
    if (base.empty() || base.back() != '\\')
        base += '\\';
    return base;
}

LauncherPropertyInputs propertyInputs()
{
    LauncherPropertyInputs inputs;
    inputs.semaphoreName = instanceSemaphoreName();
    inputs.manualRuntimeChoice = manualRuntimeSwitch();
    inputs.sealdeckKind = sealdeckKind();
    inputs.runningAsService = launcherProgram() == LauncherProgram::Service && serviceMode();
    inputs.modulePath = moduleAnsiPath();
    inputs.extractionDirectory = extractionDirectory();
    const int64_t position = unextractedPosition();
    // A language restart runs in the extraction directory of the first start and tells the
    // Java side that the position is unknown unless it extracted again.
    inputs.unextractedPosition = languageRestart() && position == 0 ? -1 : position;
    inputs.pathVariable = environmentVariable("PATH").value_or(std::string());
    inputs.manpathSet = environmentVariable("MANPATH").has_value();
    inputs.consoleCodePage = GetConsoleOutputCP();
    return inputs;
}

// The stream file of launcher arguments 3 and 4: "$..." names are the Java side's own.
std::u16string streamFile(int32_t enabledEntry, int32_t fileEntry)
{
    if (!isSet(enabledEntry))
        return {};
    std::wstring file = configStringWide(fileEntry);
    expandLauncherVariablesWide(file, false);
    if (!file.empty() && file.front() == L'$')
        return toU16(file);
    return toU16(resolvePath(file, false));
}

std::vector<std::u16string> composeLauncherArguments(const std::vector<std::wstring>& arguments)
{
    LauncherArgumentInputs inputs;
    inputs.guiApplication = configInt(config_entry::kApplicationKind) == 1;
    inputs.mainClass = toU16(configStringWide(config_entry::kMainClass));
    inputs.moduleMainClass = isSet(config_entry::kMainClassInModule);
    inputs.standardErrorFile = streamFile(config_entry::kRedirectStandardError, config_entry::kStandardErrorFile);
    inputs.standardOutputFile = streamFile(config_entry::kRedirectStandardOutput, config_entry::kStandardOutputFile);
    inputs.flag106 = isSet(config_entry::kLauncherFlag);
    for (const std::wstring& argument : arguments)
        inputs.argumentVector.push_back(toU16(argument));
    inputs.programFallback = toU16(moduleLongPath());
    std::wstring configured = configTextWide(config_entry::kApplicationArguments, 1999);
    expandLauncherVariablesWide(configured, false);
    inputs.configuredArguments = toU16(configured);
    inputs.filterVmArguments = isSet(config_entry::kDashJVmOptions);
    return launcherArguments(inputs);
}

// The VM keeps pointers into the option strings, so they are never freed.
VmInitArguments* buildVmOptions(const std::vector<std::string>& properties, const std::vector<std::wstring>& arguments)
{
    OptionList options = properties;
    ClasspathSlots slots;
    collectConfiguredVmOptions(arguments, options, slots);
    if (isSet(config_entry::kReadDefaultVmOptions)) {
        VmOptionsFile file = openDefaultVmOptionsFile();
        logLine(L"default vmoptions file: %p", static_cast<void*>(file.stream.get()));
        readVmOptionsFile(std::move(file), options, slots);
    }

    const bool sealdeck = sealdeckKind();
    const bool service = launcherProgram() == LauncherProgram::Service;
    ClassPathSources sources;
    sources.replacement = slots.replacement;
    sources.prefix = slots.prefix;
    sources.suffix = slots.suffix;
    sources.extractionDirectory = extractionDirectory();
    sources.moduleMainClass = isSet(config_entry::kMainClassInModule);
    if (service && sealdeck)
        sources.runtimeJar = helperBaseDirectoryAnsi() + ".sealdeck\\sldkruntime.jar";
    sources.archives = [](const std::string& directory, const std::string& extension, std::string& target) {
        appendArchivesOfDirectory(directory, extension, target);
    };
    sources.configured = [](int32_t entryId, std::string& target) { appendPathEntries(entryId, target); };
    const ClassPathResult paths = composeClassPath(sources);
    options.push_back(paths.classPathOption);

    appendModuleOptions(options, paths.modulePath, isSet(config_entry::kMainClassInModule),
                        configText(config_entry::kMainClass, 5999), sealdeck);
    appendServiceOptions(options, service && serviceMode(), service && noRedirection());
    joinModuleOptions(options);

    auto* initArguments = new VmInitArguments(options);
    const std::vector<std::string>& texts = initArguments->texts();
    logLine(L"vmoption count %d", static_cast<int>(texts.size()));
    for (size_t i = 0; i < texts.size(); ++i)
        logLine(L"vmoption %d: %S", static_cast<int>(i), texts[i].c_str());
    return initArguments;
}

bool createJvm(VmInitArguments& initArguments)
{
    logLine(L"Creating JVM");
    const jint result = g_createJavaVm(&g_vm, reinterpret_cast<void**>(&g_env), initArguments.get());
    if (result != 0) {
        logError(L"could not initialize JVM");
        return false;
    }
    return true;
}

void passSplashConfiguration()
{
    auto group = [](int32_t text, int32_t first, int32_t second) {
        // Configuration texts are in the ANSI code page, which the VM's modified UTF-8 is not.
        return SplashGroup{toU16(widenAnsi(configText(text, 1999))), configInt(first), configInt(second)};
    };
    using namespace config_entry;
    // Each line goes as two groups, its text and position, then its colour, font size and
    // weight; the font name is not passed.
    const SplashGroup groups[4] = {group(kSplashLine1Text, kSplashLine1X, kSplashLine1Y),
                                   group(kSplashLine1Color, kSplashLine1FontSize, kSplashLine1FontWeight),
                                   group(kSplashLine2Text, kSplashLine2X, kSplashLine2Y),
                                   group(kSplashLine2Color, kSplashLine2FontSize, kSplashLine2FontWeight)};
    callSplashConfig(g_env, configInt(config_entry::kSplashSecondFlag) != 0, groups, jniLog());
}

void registerHelperNatives()
{
    logLine(L"load helper dll");
    HMODULE module = nullptr;
    if (launcherProgram() == LauncherProgram::Setup) {
        module = GetModuleHandleW(nullptr);
        logLine(L"helper dll (in-module) %p", static_cast<void*>(module));
    } else {
        const std::wstring path = helperBaseDirectory() + L".sealdeck\\sldkinst.dll";
        // Stays loaded: the VM calls its natives until the process ends.
        module = LoadLibraryW(path.c_str());
        logLine(L"helper dll %p %s", static_cast<void*>(module), path.c_str());
        if (!module)
            return;
    }
    auto registerNatives = reinterpret_cast<RegisterNativesFunction>(GetProcAddress(module, "registerNatives"));
    if (!registerNatives) {
        logError(L"did not find register natives in helper dll");
        return;
    }
    registerInstallerNatives(
        g_env, [&](JNIEnv* env) { return registerNatives(env, module, logError) != 0; }, jniLog());
}

void passWinDelExecutable()
{
    const std::wstring executable = moduleFileName();
    if (executable.empty()) {
        logError(L"could not get module name for WinDel");
        return;
    }
    setWinDelExecutable(g_env, toU16(executable), jniLog());
}

bool callMain(const std::vector<std::wstring>& arguments)
{
    const std::vector<std::u16string> launcherArgs = composeLauncherArguments(arguments);
    switch (callLauncherMain(g_env, launcherClassName(sealdeckKind()), launcherArgs, jniLog())) {
    case MainResult::ClassMissing:
        fatalMessage(1010);
    case MainResult::MethodMissing:
        fatalMessage(1011);
    case MainResult::Returned:
        return true;
    case MainResult::ArgumentsFailed:
    case MainResult::Threw:
        break;
    }
    return false;
}

} // namespace

bool LoadDLL(bool showErrors, const char* location, bool isJavaExe)
{
    logLine(L"LoadDLL (%d, %S, %d)", showErrors ? 1 : 0, location ? location : "(null)", isJavaExe ? 1 : 0);
    JvmLibrary library;
    std::string javaExe;
    std::string version;
    JvmLocationKind locationKind = JvmLocationKind::None;
    std::string locationText;
    if (location) {
        logLine(L"Got JRE location %S (java exe: %d)", location, isJavaExe ? 1 : 0);
        const std::string minimumText = configText(config_entry::kMinimumJavaVersion, 5999);
        const std::string maximumText = configText(config_entry::kMaximumJavaVersion, 5999);
        logLine(L"MinVersion: %S, MaxVersion: %S", minimumText.c_str(), maximumText.c_str());
        const VersionVector minimum = parseVersion(minimumText);
        const VersionVector maximum = parseVersion(maximumText);
        if (isJavaExe) {
            javaExe = location;
            if (!checkJavaExe(javaExe, version, minimum, maximum, true, false)) {
                logError(L"Provided JVM unusable");
                if (showErrors)
                    showMessage(1016, L"64");
                return false;
            }
        } else {
            // A runtime the launcher brought along is used whatever its version says.
            checkRuntimeDirectory(javaExe, version, location, minimum, maximum, true);
        }
        locationKind = JvmLocationKind::Directory;
        locationText = location;
        library = loadJvmLibrary(javaExe);
    } else {
        JvmSearchResult found = findJvm();
        if (found.locationKind == JvmLocationKind::None) {
            logError(L"No JVM found");
            if (showErrors)
                showMessage(1016, L"64");
            return false;
        }
        library = std::move(found.library);
        javaExe = std::move(found.javaExe);
        version = std::move(found.version);
        locationKind = found.locationKind;
        locationText = std::move(found.locationText);
    }

    recordSelectedRuntime(javaExe, version);

    if (!library.module)
        logError(L"Could not get DLL-Handle.");
    auto createJavaVm = library.module ? reinterpret_cast<CreateJavaVmFunction>(
                                             GetProcAddress(library.module, "JNI_CreateJavaVM"))
                                       : nullptr;
    if (!createJavaVm)
        logError(L"Could not load functions");
    if (library.module && createJavaVm) {
        g_createJavaVm = createJavaVm;
        logLine(L"Loading of JVM-DLL successful");
        return true;
    }
    // A library that is not a VM must not stay loaded, nor its directory stay in PATH and
    // the DLL search of whatever this process loads next.
    unloadJvmLibrary(library);
    if (showErrors) {
        switch (locationKind) {
        case JvmLocationKind::SearchPath:
            showMessage(1016, L"64");
            break;
        case JvmLocationKind::Directory:
            showMessage(1020, locationText.c_str());
            break;
        case JvmLocationKind::EnvironmentVariable:
            showMessage(1018, locationText.c_str());
            break;
        case JvmLocationKind::None:
        case JvmLocationKind::Registry:
            showMessage(1005);
            break;
        }
    }
    return false;
}

bool vmLibraryLoaded() { return g_createJavaVm != nullptr; }

bool launchProgram(const std::vector<std::wstring>& arguments, bool destroyAfterMain)
{
    logLine(L"launching program");
    if (!g_createJavaVm) {
        logError(L"could not initialize JVM");
        return false;
    }
    const std::vector<std::string> properties = launcherProperties(propertyInputs());
    VmInitArguments* initArguments = buildVmOptions(properties, arguments);
    if (!createJvm(*initArguments))
        return false;
    logLine(L"JVM created");

    if (isSet(config_entry::kSplashTextConfiguration))
        passSplashConfiguration();
    if (sealdeckKind())
        registerHelperNatives();
    if (launcherProgram() == LauncherProgram::Setup)
        passWinDelExecutable();
    setModuleNameProperty(g_env, toU16(moduleLongPath()), jniLog());

    if (!callMain(arguments)) {
        logError(L"could not call main");
        return false;
    }
    if (destroyAfterMain) {
        logLine(L"dest JVM");
        g_vm->DestroyJavaVM();
    }
    logLine(L"launch done");
    return true;
}
