// Runs the launcher's JNI steps against the build machine's real Java VM, one scenario per
// process (a process can create only one VM). Prints the launcher's log lines as
// "LOG <text>" and "ERROR <text>" and ends with "RESULT <main result>"; the VM's own
// diagnostics (-Xcheck:jni warnings, stack traces) go to the same streams.
//
// probe <libjvm.so> <class path> <trace file> <scenario>
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "launchcore/jni_launch.h"
#include "launchcore/launch_composition.h"
#include "launchcore/text.h"

namespace {

using CreateJavaVm = jint (*)(JavaVM**, void**, void*);

void printLog(bool isError, std::u16string_view line)
{
    std::printf("%s %s\n", isError ? "ERROR" : "LOG", toUtf8(line).c_str());
    std::fflush(stdout);
}

struct Scenario {
    bool sealdeck = true;
    const char* launcherClass = nullptr; // nullptr: the launcher class of the kind
    bool helperSucceeds = true;
    std::vector<std::u16string> extraArguments;
};

bool scenarioByName(const std::string& name, Scenario& scenario)
{
    if (name == "sealdeck")
        return true;
    if (name == "vexon") {
        scenario.sealdeck = false;
        return true;
    }
    if (name == "throw") {
        scenario.extraArguments.push_back(u"--throw");
        return true;
    }
    if (name == "no-class") {
        scenario.launcherClass = "com/example/Missing";
        return true;
    }
    if (name == "no-method") {
        scenario.launcherClass = "sldkprobe/Trace";
        return true;
    }
    if (name == "helper-fails") {
        scenario.helperSucceeds = false;
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s <libjvm> <class path> <trace file> <scenario>\n", argv[0]);
        return 64;
    }
    Scenario scenario;
    if (!scenarioByName(argv[4], scenario)) {
        std::fprintf(stderr, "unknown scenario %s\n", argv[4]);
        return 64;
    }
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_GLOBAL);
    if (!library) {
        std::fprintf(stderr, "dlopen failed: %s\n", dlerror());
        return 65;
    }
    auto create = reinterpret_cast<CreateJavaVm>(dlsym(library, "JNI_CreateJavaVM"));
    if (!create) {
        std::fprintf(stderr, "JNI_CreateJavaVM missing\n");
        return 65;
    }

    LauncherPropertyInputs properties;
    properties.semaphoreName = "Local\\sldk_probe";
    properties.sealdeckKind = scenario.sealdeck;
    properties.modulePath = "C:\\apps\\probe\\launcher.exe";
    properties.extractionDirectory = "C:\\temp\\sldkx_1.tmp";
    properties.unextractedPosition = 3LL << 30;
    properties.pathVariable = "C:\\jre\\bin;C:\\apps\\probe\\lib";
    properties.consoleCodePage = 850;
    std::vector<std::string> options = launcherProperties(properties);
    options.push_back(std::string("-Djava.class.path=") + argv[2]);
    options.push_back(std::string("-Dsldk.trace=") + argv[3]);
    options.push_back("-Xcheck:jni");
    // Unknown to the VM: ignoreUnrecognized must let the VM start anyway.
    options.push_back("-Xsldk-unknown-option");
    VmInitArguments initArguments(options);

    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (create(&vm, reinterpret_cast<void**>(&env), initArguments.get()) != JNI_OK) {
        std::printf("ERROR could not initialize JVM\n");
        return 66;
    }

    SplashGroup groups[4] = {
        {u"", 20, 20}, {u"0,0,0", 8, 500}, {u"Version 1.2 \u00a9 2024", 20, 40}, {u"0,0,0", 8, 500}};
    callSplashConfig(env, true, groups, printLog);

    bool helperCalled = false;
    registerInstallerNatives(env,
                             [&](JNIEnv* helperEnv) {
                                 helperCalled = helperEnv == env;
                                 return scenario.helperSucceeds;
                             },
                             printLog);
    std::printf("LOG helper called %d\n", helperCalled ? 1 : 0);
    setWinDelExecutable(env, u"C:\\\u041f\u0440\u043e\u0433\\setup.exe", printLog);
    setModuleNameProperty(env, u"C:\\\u041f\u0440\u043e\u0433\\launcher.exe", printLog);

    LauncherArgumentInputs arguments;
    arguments.guiApplication = true;
    arguments.mainClass = u"com.example.App";
    arguments.standardErrorFile = u"C:\\logs\\error.log";
    arguments.argumentVector = {u"launcher.exe", u"Gr\u00fc\u00dfe \u20ac", u"-Jx", u"-Dsun.locale.formatasdefault=true",
                                u"last"};
    arguments.configuredArguments = u"--mode 'two words'";
    arguments.filterVmArguments = true;
    for (const std::u16string& extra : scenario.extraArguments)
        arguments.argumentVector.push_back(extra);
    const char* launcher = scenario.launcherClass ? scenario.launcherClass : launcherClassName(scenario.sealdeck);
    const MainResult result = callLauncherMain(env, launcher, launcherArguments(arguments), printLog);
    std::printf("RESULT %d\n", static_cast<int>(result));
    std::fflush(stdout);
    // A VM with a pending exception still shuts down; DestroyJavaVM waits for its threads.
    if (result == MainResult::Returned)
        vm->DestroyJavaVM();
    return 0;
}
