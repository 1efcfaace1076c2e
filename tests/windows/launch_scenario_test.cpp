// "servicelauncher /run" end to end against the stand-in runtime laid out beside it: the
// runtime is found, the VM created with the composed options, the Java side prepared and
// main called with the launcher arguments. The stand-in VM writes what it received to a
// trace file, which is compared here with the launcher's configuration.
#include "testing/launcher_run.h"
#include "testing/standin_runtime.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using Config = std::vector<std::pair<int32_t, std::string>>;
using Environment = std::vector<std::pair<std::wstring, std::wstring>>;

// The demo-like service: fixed VM options and arguments, "-J" arguments for the VM, and the
// runtime in the "jre" folder beside the launcher.
const Config kServiceConfig = {
    {101, "DemoService"}, {122, "com.example.Main"}, {123, "-Xmx64m -Dfoo=bar"}, {124, "fixed1 'fixed two'"},
    {125, "1"},           {126, "1.8"},              {128, "Ajre"},              {10003, "."},
};

struct ServiceApp {
    std::wstring directory;
    std::wstring launcher;
    std::wstring trace;
};

// Builds the launcher into directory, lays out the runtime beside it and, when asked, the
// helper library below ".sealdeck".
ServiceApp makeService(const std::wstring& directory, const Config& overrides = {}, bool withHelper = false,
                       bool withRuntime = true)
{
    ServiceApp app;
    app.directory = directory;
    app.trace = directory + L"\\trace.txt";
    sldkpack::LauncherModel model = basicModel("4");
    for (const auto& [id, value] : kServiceConfig)
        sldkpack::setConfig(model, id, value);
    for (const auto& [id, value] : overrides)
        sldkpack::setConfig(model, id, value);
    app.launcher = buildLauncherFile(kServiceStub, model, directory, L"DemoService.exe");
    if (withRuntime) {
        EXPECT_TRUE(layOutStandinRuntime(toUtf8(directory + L"\\jre")));
    }
    if (withHelper) {
        CreateDirectoryW((directory + L"\\.sealdeck").c_str(), nullptr);
        EXPECT_TRUE(CopyFileW((testProgramDirectory() + L"\\sldkinst.dll").c_str(),
                              (directory + L"\\.sealdeck\\sldkinst.dll").c_str(), FALSE));
    }
    return app;
}

Environment traceEnvironment(const ServiceApp& app, Environment extra = {})
{
    extra.emplace_back(L"SEALDECK_LOG", L"yes");
    extra.emplace_back(L"SLDK_TRACE", app.trace);
    // The code page option depends on it; the tests expect the usual case.
    extra.emplace_back(L"MANPATH", L"");
    return extra;
}

ptrdiff_t indexOf(const std::vector<std::string>& lines, const std::string& line)
{
    const auto found = std::find(lines.begin(), lines.end(), line);
    return found == lines.end() ? -1 : found - lines.begin();
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

std::string lowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// A launcher whose standard input stays open until the test writes to it, as the service
// control's pipe holds a service's Java side in main.
class HeldLauncher {
public:
    HeldLauncher(const std::wstring& launcher, const std::wstring& temp, const Environment& environment)
    {
        SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
        HANDLE readEnd = nullptr;
        if (!CreatePipe(&readEnd, &input_, &inheritable, 0))
            return;
        SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
        HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                 OPEN_EXISTING, 0, nullptr);
        ProcessOptions options = launcherOptions(temp, {L"/run"}, environment);
        std::wstring commandLine = buildCommandLine(launcher, options);
        std::wstring block = buildEnvironmentBlock(options.environment);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = readEnd;
        startup.hStdOutput = nul;
        startup.hStdError = nul;
        PROCESS_INFORMATION info{};
        if (CreateProcessW(launcher.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                           block.data(), nullptr, &startup, &info)) {
            process_ = info.hProcess;
            pid_ = info.dwProcessId;
            CloseHandle(info.hThread);
        }
        CloseHandle(readEnd);
        if (nul != INVALID_HANDLE_VALUE)
            CloseHandle(nul);
    }
    HeldLauncher(const HeldLauncher&) = delete;
    HeldLauncher& operator=(const HeldLauncher&) = delete;
    ~HeldLauncher()
    {
        if (process_) {
            if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT)
                TerminateProcess(process_, 99);
            CloseHandle(process_);
        }
        if (input_)
            CloseHandle(input_);
    }

    DWORD pid() const { return pid_; }

    void send(const std::string& text)
    {
        DWORD written = 0;
        WriteFile(input_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }

    // The exit code, or STILL_ACTIVE after the timeout.
    DWORD waitForExit(DWORD timeoutMs)
    {
        DWORD code = STILL_ACTIVE;
        if (process_ && WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0)
            GetExitCodeProcess(process_, &code);
        return code;
    }

private:
    HANDLE process_ = nullptr;
    HANDLE input_ = nullptr;
    DWORD pid_ = 0;
};

// Waits until the trace holds the line, or the timeout passes.
bool waitForTraceLine(const std::wstring& trace, const std::string& prefix, DWORD timeoutMs)
{
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        if (!traced(traceLines(trace), prefix).empty())
            return true;
        Sleep(50);
    }
    return false;
}

} // namespace

TEST(LaunchScenario, RunPassesTheConfigurationToTheVm)
{
    ScratchDirectory scratch;
    const ServiceApp app = makeService(scratch.path(), {}, true);
    ASSERT_FALSE(app.launcher.empty());
    const std::wstring temp = scratch.subdirectory(L"tmp");
    const std::wstring helperLog = scratch.file(L"sldkinst.txt");
    const LauncherOutcome outcome = runLauncher(
        app.launcher, temp, {L"/run", L"a", L"-Jx", L"b"}, traceEnvironment(app, {{L"SLDK_SLDKINST_LOG", helperLog}}));
    const std::vector<std::string> trace = traceLines(app.trace);
    EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome) << joined(trace);
    const std::string log = singleLogText(outcome);

    // The options: launcher properties first, in their order, then the configured ones.
    const std::vector<std::string> options = traced(trace, "option: ");
    const std::string modulePath = toUtf8(app.launcher);
    std::vector<std::string> expectedStart = {
        "-Dvexon.isSealdeck=true",
        "-Dvexon.moduleName=" + modulePath,
        "-Dsun.java.command=" + modulePath,
    };
    ASSERT_GE(options.size(), expectedStart.size() + 10) << joined(trace);
    size_t at = 0;
    if (options[0].rfind("-Dvexon.semaphoreName=", 0) == 0)
        ++at;
    for (const std::string& expected : expectedStart)
        EXPECT_EQ(options[at++], expected) << joined(options);
    EXPECT_EQ(options[at++].rfind("-Dvexon.tempDir=", 0), 0u) << joined(options);
    EXPECT_EQ(options[at++].rfind("-Dvexon.unextractedPosition=", 0), 0u) << joined(options);
    const std::string libraryPath = options[at++];
    EXPECT_EQ(libraryPath.rfind("-Djava.library.path=", 0), 0u) << joined(options);
    // PATH leads with the chosen runtime's bin folder.
    EXPECT_NE(lowerAscii(libraryPath).find(lowerAscii(toUtf8(app.directory + L"\\jre\\bin"))), std::string::npos)
        << libraryPath;
    EXPECT_EQ(options[at++].rfind("-Dvexon.consoleCodepage=cp", 0), 0u) << joined(options);
    const std::vector<std::string> configured(options.begin() + static_cast<ptrdiff_t>(at), options.end());
    const ptrdiff_t heap = indexOf(configured, "-Xmx64m");
    const ptrdiff_t foo = indexOf(configured, "-Dfoo=bar");
    const ptrdiff_t fromArgument = indexOf(configured, "x");
    EXPECT_EQ(heap, 0) << joined(options);
    EXPECT_EQ(foo, 1) << joined(options);
    EXPECT_GT(fromArgument, foo) << "the -J argument follows the configured options\n" << joined(options);
    const std::vector<std::string> classPaths = traced(options, "-Djava.class.path=");
    ASSERT_EQ(classPaths.size(), 1u) << joined(options);
    // The runtime jar below the helper base directory (entry 10003 against the launcher's).
    const std::string runtimeJar = ".sealdeck\\sldkruntime.jar;";
    EXPECT_EQ(classPaths[0].rfind(toUtf8(app.directory) + "\\", 0), 0u) << classPaths[0];
    EXPECT_TRUE(classPaths[0].size() >= runtimeJar.size() &&
                classPaths[0].compare(classPaths[0].size() - runtimeJar.size(), runtimeJar.size(), runtimeJar) == 0)
        << classPaths[0];
    EXPECT_GE(indexOf(options, "--add-modules=com.sealdeck.runtime"), 0) << joined(options);
    EXPECT_EQ(indexOf(options, "-Dsealdeck.noRedir=true"), static_cast<ptrdiff_t>(options.size()) - 1)
        << joined(options);
    EXPECT_EQ(indexOf(options, "-Xrs"), -1) << "only a service run gets -Xrs\n" << joined(options);
    EXPECT_EQ(traced(trace, "vm-version: "), std::vector<std::string>{"0x00010002"});
    EXPECT_EQ(traced(trace, "ignore-unrecognized: "), std::vector<std::string>{"true"});

    // main and its arguments; "-Jx" went to the VM.
    EXPECT_EQ(traced(trace, "launcher-class: "), std::vector<std::string>{"com/sealdeck/runtime/launcher/WinLauncher"});
    const std::vector<std::string> arguments = traced(trace, "arg ");
    const std::vector<std::string> expectedArguments = {
        "0: false", "1: com.example.Main", "2: ", "3: ", "4: false", "5: " + modulePath,
        "6: fixed1", "7: fixed two", "8: a", "9: b",
    };
    EXPECT_EQ(arguments, expectedArguments) << joined(trace);
    EXPECT_EQ(traced(trace, "arg-count: "), std::vector<std::string>{"10"});

    // The Java side was prepared before main, and the VM destroyed after it.
    EXPECT_EQ(traced(trace, "property: "), std::vector<std::string>{"vexon.moduleName=" + modulePath});
    EXPECT_EQ(traced(trace, "initFromLauncher: "), std::vector<std::string>{"true"});
    EXPECT_TRUE(traced(trace, "splash: ").empty()) << "no splash configured";
    EXPECT_TRUE(traced(trace, "WinDel.externalExecutable: ").empty()) << "only the installer sets it";
    const ptrdiff_t created = indexOf(trace, "created");
    const ptrdiff_t property = indexOf(trace, "property: vexon.moduleName=" + modulePath);
    const ptrdiff_t mainReturned = indexOf(trace, "main: return");
    const ptrdiff_t destroyed = indexOf(trace, "destroy");
    EXPECT_LT(created, property);
    EXPECT_LT(property, mainReturned);
    EXPECT_LT(mainReturned, destroyed);
    EXPECT_EQ(destroyed, static_cast<ptrdiff_t>(trace.size()) - 1) << joined(trace);

    const auto helper = readFileBytes(helperLog);
    ASSERT_TRUE(helper) << "the helper library was not called\n" << log;
    EXPECT_EQ(std::string(helper->begin(), helper->end()),
              "registerNatives env=set module=set own=yes report=set result=1\r\n");
    for (const char* line : {"Loading of JVM-DLL successful", "JVM created", "calling main", "main returned",
                             "dest JVM", "launch done"})
        EXPECT_TRUE(hasLogLine(log, line)) << line << "\n" << log;
}

// The command line's arguments reach main as UTF-16 text, minus what goes to the VM.
TEST(LaunchScenario, CommandLineArgumentsReachMainAsTyped)
{
    const struct {
        const char* what;
        Config config;
        std::vector<std::wstring> arguments;
        std::vector<std::string> expected; // main's arguments after the configured ones
        std::vector<std::string> vmOptions; // options that must be there
    } cases[] = {
        {"non-ASCII and a supplementary character",
         {},
         {L"gr\u00fc\u00dfe", L"\u20ac 5", L"\U0001F600", L""},
         {"gr\xc3\xbc\xc3\x9f" "e", "\xe2\x82\xac 5", "\xf0\x9f\x98\x80", ""},
         {}},
        {"-J arguments stay with main when entry 125 is off",
         {{125, "0"}},
         {L"-Jx", L"b"},
         {"-Jx", "b"},
         {}},
        {"locale switch never reaches main",
         {},
         {L"a", L"-Dsun.locale.formatasdefault=true", L"-J-Dbar=1"},
         {"a"},
         {"-Dbar=1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDirectory scratch;
        const ServiceApp app = makeService(scratch.path(), c.config);
        ASSERT_FALSE(app.launcher.empty());
        std::vector<std::wstring> arguments = {L"/run"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const LauncherOutcome outcome =
            runLauncher(app.launcher, scratch.subdirectory(L"tmp"), arguments, traceEnvironment(app));
        const std::vector<std::string> trace = traceLines(app.trace);
        EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome) << joined(trace);
        std::vector<std::string> expected = {"6: fixed1", "7: fixed two"};
        for (size_t i = 0; i < c.expected.size(); ++i)
            expected.push_back(std::to_string(8 + i) + ": " + c.expected[i]);
        std::vector<std::string> actual = traced(trace, "arg ");
        actual.erase(actual.begin(), actual.begin() + std::min<ptrdiff_t>(6, static_cast<ptrdiff_t>(actual.size())));
        EXPECT_EQ(actual, expected) << joined(trace);
        const std::vector<std::string> options = traced(trace, "option: ");
        for (const std::string& option : c.vmOptions)
            EXPECT_GE(indexOf(options, option), 0) << option << "\n" << joined(options);
    }
}

// A helper library that is missing or refuses leaves the natives unregistered; the launch
// goes on either way.
TEST(LaunchScenario, HelperLibraryOutcomes)
{
    const struct {
        const char* what;
        bool helper;
        const char* helperResult;
        std::vector<std::string> initCalls;
        const char* logLine;
    } cases[] = {
        {"no helper library", false, "1", {}, nullptr},
        {"helper refuses", true, "0", {"true", "false"}, "ERROR: registering helper dll failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDirectory scratch;
        const ServiceApp app = makeService(scratch.path(), {}, c.helper);
        ASSERT_FALSE(app.launcher.empty());
        const LauncherOutcome outcome =
            runLauncher(app.launcher, scratch.subdirectory(L"tmp"), {L"/run"},
                        traceEnvironment(app, {{L"SLDK_SLDKINST_RESULT", fromUtf8(c.helperResult)}}));
        const std::vector<std::string> trace = traceLines(app.trace);
        EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome) << joined(trace);
        EXPECT_EQ(traced(trace, "initFromLauncher: "), c.initCalls) << joined(trace);
        EXPECT_EQ(indexOf(trace, "main: return") + 1, indexOf(trace, "destroy")) << joined(trace);
        if (c.logLine) {
            EXPECT_TRUE(hasLogLine(singleLogText(outcome), c.logLine)) << singleLogText(outcome);
        }
    }
}

// The product kind picks the launcher class and whether the installer runtime's natives
// are registered; a splash configuration reaches the vexon launcher class as configured.
TEST(LaunchScenario, ProductKindAndSplashConfiguration)
{
    const Config splash = {{108, "1"},          {163, "1"},     {10109, "20"}, {10110, "20"},  {10111, ""},
                           {10113, "20"},       {10115, "40"},  {10114, "Version 2.1"},        {10116, "8"},
                           {10117, "500"},      {10118, "0,0,0"}, {10120, "9"},  {10122, "700"}, {10121, "255,0,0"}};
    const struct {
        const char* what;
        Config config;
        std::string launcherClass;
        std::vector<std::string> initCalls;
        std::vector<std::string> splashLines;
    } cases[] = {
        {"vexon kind", {{2001, "V"}}, "com/vexon/runtime/WinLauncher", {}, {}},
        {"sealdeck kind with splash", splash, "com/sealdeck/runtime/launcher/WinLauncher", {"true"},
         {"true|true||20|20|Version 2.1|20|40|0,0,0|8|500|255,0,0|9|700"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDirectory scratch;
        const ServiceApp app = makeService(scratch.path(), c.config, true);
        ASSERT_FALSE(app.launcher.empty());
        const LauncherOutcome outcome =
            runLauncher(app.launcher, scratch.subdirectory(L"tmp"), {L"/run"}, traceEnvironment(app));
        const std::vector<std::string> trace = traceLines(app.trace);
        EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome) << joined(trace);
        EXPECT_EQ(traced(trace, "launcher-class: "), std::vector<std::string>{c.launcherClass}) << joined(trace);
        EXPECT_EQ(traced(trace, "initFromLauncher: "), c.initCalls) << joined(trace);
        EXPECT_EQ(traced(trace, "splash: "), c.splashLines) << joined(trace);
    }
}

// What the user sees when the Java side is not what the launcher expects.
TEST(LaunchScenario, JavaSideFailuresEndWithExitOne)
{
    const struct {
        const char* what;
        Environment knobs;
        const char* standardError; // the message on standard error, or null
        std::vector<const char*> logLines;
        bool mainCalled;
    } cases[] = {
        {"launcher class missing",
         {{L"SLDK_JVM_MISSING_CLASS", L"com/sealdeck/runtime/launcher/WinLauncher"}},
         "Couldn't load main class.",
         {"ERROR: could not find main class"},
         false},
        {"main missing", {{L"SLDK_JVM_MISSING_METHOD", L"main"}}, "Main method not found.",
         {"ERROR: could not find main method"}, false},
        {"VM creation fails", {{L"SLDK_JVM_CREATE_FAIL", L"1"}}, "The JVM could not be started.",
         {"ERROR: could not initialize JVM"}, false},
        {"main throws",
         {{L"SLDK_JVM_THROW", L"java.lang.IllegalStateException: no database"}},
         "Exception in thread \"main\" java.lang.IllegalStateException: no database",
         {"ERROR: an exception occurred", "ERROR: java.lang.IllegalStateException: no database",
          "ERROR: could not call main"},
         true},
        {"main throws, and the launcher says so",
         {{L"SLDK_JVM_THROW", L"java.lang.IllegalStateException: no database"}},
         "The JVM could not be started.",
         {"ERROR: could not call main"},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDirectory scratch;
        const ServiceApp app = makeService(scratch.path());
        ASSERT_FALSE(app.launcher.empty());
        const std::wstring temp = scratch.subdirectory(L"tmp");
        const LauncherOutcome outcome = runLauncher(app.launcher, temp, {L"/run"}, traceEnvironment(app, c.knobs));
        const std::vector<std::string> trace = traceLines(app.trace);
        EXPECT_EQ(outcome.process.exitCode, 1u) << describe(outcome) << joined(trace);
        if (c.standardError) {
            EXPECT_NE(outcome.process.standardError.find(c.standardError), std::string::npos) << describe(outcome);
        }
        const std::string log = singleLogText(outcome);
        for (const char* line : c.logLines)
            EXPECT_TRUE(hasLogLine(log, line)) << line << "\n" << log;
        EXPECT_EQ(!traced(trace, "arg-count: ").empty(), c.mainCalled) << joined(trace);
        // A failed launch neither destroys the VM nor trips over the JNI rules.
        EXPECT_EQ(indexOf(trace, "destroy"), -1) << joined(trace);
        EXPECT_TRUE(traced(trace, "stand-in jvm: ").empty()) << joined(trace);
        EXPECT_FALSE(hasLogLine(log, "launch done")) << log;
    }
}

// No runtime beside the launcher: the search finds nothing and the run ends with exit 1.
TEST(LaunchScenario, NoRuntimeEndsWithExitOne)
{
    ScratchDirectory scratch;
    const ServiceApp app = makeService(scratch.path(), {}, false, false);
    ASSERT_FALSE(app.launcher.empty());
    const LauncherOutcome outcome = runLauncher(app.launcher, scratch.subdirectory(L"tmp"), {L"/run"},
                                                traceEnvironment(app, {{L"JAVA_HOME", L""}}));
    EXPECT_EQ(outcome.process.exitCode, 1u) << describe(outcome);
    EXPECT_TRUE(hasLogLine(singleLogText(outcome), "ERROR: No JVM found")) << singleLogText(outcome);
    EXPECT_TRUE(traceLines(app.trace).empty());
}

// A jvm.dll that loads but is no VM: the run ends with exit 1, and before that the launcher
// takes back the library's directory from PATH.
TEST(LaunchScenario, LibraryWithoutTheVmEntryIsTakenBack)
{
    ScratchDirectory scratch;
    const ServiceApp app = makeService(scratch.path());
    ASSERT_FALSE(app.launcher.empty());
    ASSERT_TRUE(CopyFileW((testProgramDirectory() + L"\\sldkinst.dll").c_str(),
                          (app.directory + L"\\jre\\bin\\server\\jvm.dll").c_str(), FALSE));
    const LauncherOutcome outcome =
        runLauncher(app.launcher, scratch.subdirectory(L"tmp"), {L"/run"}, traceEnvironment(app));
    EXPECT_EQ(outcome.process.exitCode, 1u) << describe(outcome);
    EXPECT_NE(outcome.process.standardError.find("The JVM found at"), std::string::npos) << describe(outcome);
    EXPECT_TRUE(traceLines(app.trace).empty());

    const std::vector<std::string> lines = logLinesWithoutTime(singleLogText(outcome));
    const ptrdiff_t missing = indexOf(lines, "ERROR: Could not load functions");
    ASSERT_NE(missing, -1) << joined(lines);
    EXPECT_EQ(indexOf(lines, "Loading of JVM-DLL successful"), -1) << joined(lines);
    // The PATH the launcher had before it appended the runtime's bin directory is what it
    // sets last, after the failure.
    const std::string setting = "Setting PATH ";
    std::vector<size_t> changes;
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind(setting, 0) == 0 && lines[i].rfind("Setting PATH (native libs)", 0) != 0)
            changes.push_back(i);
    ASSERT_EQ(changes.size(), 2u) << joined(lines);
    const std::string& appended = lines[changes[0]];
    const std::string suffix = std::string(";").append(lowerAscii(toUtf8(app.directory))).append("\\jre\\bin");
    ASSERT_GE(appended.size(), suffix.size());
    EXPECT_EQ(lowerAscii(appended.substr(appended.size() - suffix.size())), suffix) << appended;
    EXPECT_EQ(lines[changes[1]], appended.substr(0, appended.size() - suffix.size())) << joined(lines);
    EXPECT_GT(static_cast<ptrdiff_t>(changes[1]), missing) << joined(lines);
}

// The stand-in's own guards, which make a launcher that breaks the JNI rules fail loudly:
// a slot it does not implement, and a call while an exception is pending.
TEST(LaunchScenario, StandinVmStopsOnUnimplementedSlotsAndPendingExceptions)
{
    const struct {
        const char* what;
        Environment knobs;
        const char* message;
    } cases[] = {
        {"unimplemented slot", {{L"SLDK_JVM_CALL_SLOT", L"MonitorEnter"}},
         "stand-in jvm: unimplemented JNIEnv slot MonitorEnter"},
        {"reserved slot", {{L"SLDK_JVM_CALL_SLOT", L"reserved3"}}, "stand-in jvm: unimplemented JNIEnv slot reserved3"},
        {"call with exception pending", {{L"SLDK_JVM_THROW", L"boom"}, {L"SLDK_JVM_CALL_SLOT", L"FindClass"}},
         "stand-in jvm: JNI call FindClass with exception pending"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDirectory scratch;
        const ServiceApp app = makeService(scratch.path());
        ASSERT_FALSE(app.launcher.empty());
        const LauncherOutcome outcome =
            runLauncher(app.launcher, scratch.subdirectory(L"tmp"), {L"/run"}, traceEnvironment(app, c.knobs));
        EXPECT_EQ(outcome.process.exitCode, 97u) << describe(outcome);
        EXPECT_NE(outcome.process.standardError.find(c.message), std::string::npos) << describe(outcome);
        EXPECT_GE(indexOf(traceLines(app.trace), c.message), 0) << joined(traceLines(app.trace));
    }
}

// main's own end: the code it exits with is the launcher's, and a Java side that waits for
// its stop line returns when it comes.
TEST(LaunchScenario, MainEndsTheProcessOrWaitsForItsStopLine)
{
    const struct {
        const char* what;
        Environment knobs;
        std::string input;
        DWORD exitCode;
        std::vector<std::string> stdinLines;
        bool destroyed;
    } cases[] = {
        {"exit code from main", {{L"SLDK_JVM_EXIT", L"3"}}, "", 3, {}, false},
        {"stop line", {{L"SLDK_JVM_WAIT_STDIN", L"1"}}, "hello\r\n0\r\nignored\r\n", 0, {"hello", "0"}, true},
        {"input ends without a stop line", {{L"SLDK_JVM_WAIT_STDIN", L"1"}}, "1\n", 0, {"1", "end"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDirectory scratch;
        const ServiceApp app = makeService(scratch.path());
        ASSERT_FALSE(app.launcher.empty());
        ProcessOptions options = launcherOptions(scratch.subdirectory(L"tmp"), {L"/run"}, traceEnvironment(app, c.knobs));
        options.standardInput = c.input;
        const LauncherOutcome outcome = runLauncher(app.launcher, scratch.subdirectory(L"tmp2"), options);
        const std::vector<std::string> trace = traceLines(app.trace);
        EXPECT_EQ(outcome.process.exitCode, c.exitCode) << describe(outcome) << joined(trace);
        EXPECT_EQ(traced(trace, "stdin: "), c.stdinLines) << joined(trace);
        EXPECT_EQ(indexOf(trace, "destroy") >= 0, c.destroyed) << joined(trace);
    }
}

// Single-instance mode with a first copy alive in main: a second start finds it and exits
// 0 at once, whether or not it is to raise the first copy's windows; the first copy ends
// normally when its stop line comes.
TEST(LaunchScenario, SecondStartOfASingleInstanceServiceExits)
{
    for (const char* bringToFront : {"0", "1"}) {
        SCOPED_TRACE(std::string("bring to front ") + bringToFront);
        ScratchDirectory scratch;
        const ServiceApp app = makeService(scratch.path(), {{10005, "1"}, {10007, bringToFront}});
        ASSERT_FALSE(app.launcher.empty());
        HeldLauncher first(app.launcher, scratch.subdirectory(L"tmp1"),
                           traceEnvironment(app, {{L"SLDK_JVM_WAIT_STDIN", L"1"}}));
        ASSERT_NE(first.pid(), 0u);
        ASSERT_TRUE(waitForTraceLine(app.trace, "arg-count: ", kLauncherTimeoutMs)) << joined(traceLines(app.trace));

        const LauncherOutcome second =
            runLauncher(app.launcher, scratch.subdirectory(L"tmp2"), {L"/run"}, {{L"SEALDECK_LOG", L"yes"}});
        EXPECT_EQ(second.process.exitCode, 0u) << describe(second);
        const std::string log = singleLogText(second);
        EXPECT_TRUE(hasLogLine(log, "other pid " + std::to_string(first.pid()))) << log;
        EXPECT_FALSE(hasLogLine(log, "LoadDLL (1, (null), 0)")) << "the second copy must not start a VM\n" << log;

        first.send("0\r\n");
        EXPECT_EQ(first.waitForExit(kLauncherTimeoutMs), 0u);
        const std::vector<std::string> trace = traceLines(app.trace);
        EXPECT_EQ(traced(trace, "launcher-class: ").size(), 1u) << joined(trace);
        EXPECT_EQ(trace.empty() ? "" : trace.back(), "destroy") << joined(trace);
    }
}

// Without single-instance mode copies run side by side, each with the first free counter
// in its semaphore name, which the Java side receives as a property.
TEST(LaunchScenario, ConcurrentCopiesGetTheirOwnSemaphoreNames)
{
    ScratchDirectory scratch;
    const ServiceApp app = makeService(scratch.path(), {{10005, "0"}});
    ASSERT_FALSE(app.launcher.empty());
    std::vector<std::wstring> traces;
    std::vector<std::unique_ptr<HeldLauncher>> copies;
    for (int i = 0; i < 3; ++i) {
        ServiceApp copy = app;
        copy.trace = scratch.file(L"trace" + std::to_wstring(i) + L".txt");
        traces.push_back(copy.trace);
        copies.push_back(std::make_unique<HeldLauncher>(app.launcher, scratch.subdirectory(L"tmp" + std::to_wstring(i)),
                                                        traceEnvironment(copy, {{L"SLDK_JVM_WAIT_STDIN", L"1"}})));
        ASSERT_NE(copies.back()->pid(), 0u);
    }
    std::vector<char> counters;
    for (const std::wstring& trace : traces) {
        ASSERT_TRUE(waitForTraceLine(trace, "arg-count: ", kLauncherTimeoutMs)) << joined(traceLines(trace));
        const std::vector<std::string> names = traced(traceLines(trace), "option: -Dvexon.semaphoreName=");
        ASSERT_EQ(names.size(), 1u) << joined(traceLines(trace));
        counters.push_back(names[0].back());
    }
    std::sort(counters.begin(), counters.end());
    EXPECT_EQ(std::string(counters.begin(), counters.end()), "012");
    for (auto& copy : copies) {
        copy->send("0\n");
        EXPECT_EQ(copy->waitForExit(kLauncherTimeoutMs), 0u);
    }
}
