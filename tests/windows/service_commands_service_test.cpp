// The service commands against Wine's real service manager, as an administrator uses them:
// install, status, stop, start and uninstall of services that are not running, the usage
// line, and the dispatcher path. Each test uses service names of its own and removes them.
#include "tests/windows/service_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace servicetest;

struct LauncherSetup {
    std::string applicationKind = "1";
    std::wstring configuredName;      // entry 101
    std::string dependencies;         // entry 149
    std::u16string description;       // message 20017
    std::wstring fileName = L"service.exe";
};

std::wstring buildServiceLauncher(const ScratchDirectory& scratch, const LauncherSetup& setup)
{
    sldkpack::LauncherModel model = basicModel(setup.applicationKind);
    sldkpack::setConfig(model, 101, toUtf8(setup.configuredName));
    if (!setup.dependencies.empty())
        sldkpack::setConfig(model, 149, setup.dependencies);
    if (!setup.description.empty())
        sldkpack::setMessage(model.messages, 20017, setup.description);
    return buildLauncherFile(kServiceStub, model, scratch.path(), setup.fileName);
}

struct CommandRun {
    std::string output;
    DWORD exitCode = 0;
    std::string log; // kept only when asked for
};

CommandRun runCommand(const std::wstring& launcher, const ScratchDirectory& scratch, std::vector<std::wstring> arguments,
                      bool keepLog = false)
{
    const std::wstring temp = scratch.path() + L"\\temp";
    CreateDirectoryW(temp.c_str(), nullptr);
    std::vector<std::pair<std::wstring, std::wstring>> environment;
    if (keepLog)
        environment.push_back({L"SEALDECK_LOG", L"yes"});
    const LauncherOutcome outcome = runLauncher(launcher, temp, std::move(arguments), environment);
    CommandRun run;
    run.output = consoleText(outcome.process);
    run.exitCode = outcome.process.exitCode;
    if (keepLog && !outcome.logs.empty()) {
        if (auto log = readLog(outcome.logs.back()))
            run.log = log->text;
        for (const std::wstring& path : outcome.logs)
            DeleteFileW(path.c_str());
    }
    return run;
}

std::string quotedName(const std::wstring& name) { return "'" + toUtf8(name) + "'"; }

TEST(ServiceCommandsService, InstallRegistersTheServiceAsConfigured)
{
    struct Case {
        const char* label;
        std::vector<std::wstring> command; // the name argument is appended when explicitName
        std::string applicationKind;
        bool explicitName;
        DWORD startType;
    };
    const Case cases[] = {
        {"install, kind 4", {L"/install"}, "4", false, SERVICE_AUTO_START},
        {"install, kind 1", {L"/install"}, "1", false, SERVICE_DEMAND_START},
        {"install, kind 5", {L"-install"}, "5", false, SERVICE_DEMAND_START},
        {"install under a name", {L"--install"}, "4", true, SERVICE_AUTO_START},
        {"install-auto", {L"/-install-auto"}, "1", true, SERVICE_AUTO_START},
        {"install-demand", {L"/install-demand"}, "4", false, SERVICE_DEMAND_START},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ScratchDirectory scratch;
        ServiceCleanup configured(uniqueServiceName());
        ServiceCleanup explicitService(uniqueServiceName());
        const std::wstring& expectedName = c.explicitName ? explicitService.name() : configured.name();

        LauncherSetup setup;
        setup.applicationKind = c.applicationKind;
        setup.configuredName = configured.name();
        setup.dependencies = "a,,b";
        setup.description = u"Serves the test's purpose";
        const std::wstring launcher = buildServiceLauncher(scratch, setup);
        ASSERT_FALSE(launcher.empty());

        std::vector<std::wstring> arguments = c.command;
        if (c.explicitName)
            arguments.push_back(explicitService.name());
        const CommandRun run = runCommand(launcher, scratch, arguments);
        EXPECT_EQ(run.output, "Installed service " + quotedName(expectedName) + ".\n");
        EXPECT_EQ(run.exitCode, 0u);

        const auto registered = registeredService(expectedName);
        ASSERT_TRUE(registered) << "not registered: " << toUtf8(expectedName);
        EXPECT_EQ(registered->startType, c.startType);
        EXPECT_EQ(registered->serviceType & SERVICE_WIN32_OWN_PROCESS, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
        // The own path in quotes and nothing else: a path with blanks would otherwise run
        // the first word as a program.
        EXPECT_EQ(lowerAscii(toUtf8(registered->binaryPath)), lowerAscii("\"" + toUtf8(launcher) + "\""));
        EXPECT_EQ(registered->displayName, expectedName);
        EXPECT_EQ(registered->dependencies, (std::vector<std::wstring>{L"a", L"b"}));
        EXPECT_EQ(serviceDescription(expectedName), std::optional<std::wstring>(L"Serves the test's purpose"));
        if (c.explicitName) {
            EXPECT_FALSE(serviceExists(configured.name())) << "the configured name was installed as well";
        }
    }
}

TEST(ServiceCommandsService, InstallWithoutDependenciesOrDescription)
{
    ScratchDirectory scratch;
    ServiceCleanup service(uniqueServiceName());
    LauncherSetup setup;
    setup.configuredName = service.name();
    setup.fileName = L"with blank.exe";
    const std::wstring launcher = buildServiceLauncher(scratch, setup);
    ASSERT_FALSE(launcher.empty());

    const CommandRun run = runCommand(launcher, scratch, {L"/install"});
    EXPECT_EQ(run.output, "Installed service " + quotedName(service.name()) + ".\n");
    const auto registered = registeredService(service.name());
    ASSERT_TRUE(registered);
    EXPECT_TRUE(registered->dependencies.empty());
    EXPECT_EQ(lowerAscii(toUtf8(registered->binaryPath)), lowerAscii("\"" + toUtf8(launcher) + "\""));
    EXPECT_EQ(serviceDescription(service.name()).value_or(L"?"), L"");
}

// A stopped service through its whole administration: status, stop, reinstall, uninstall,
// and then the same commands once more against the missing service.
TEST(ServiceCommandsService, CommandsOnAStoppedAndOnAMissingService)
{
    ScratchDirectory scratch;
    ServiceCleanup service(uniqueServiceName());
    LauncherSetup setup;
    setup.applicationKind = "4";
    setup.configuredName = service.name();
    const std::wstring launcher = buildServiceLauncher(scratch, setup);
    ASSERT_FALSE(launcher.empty());
    const std::string name = quotedName(service.name());

    struct Step {
        std::vector<std::wstring> arguments;
        std::string output;
        DWORD exitCode;
    };
    const Step steps[] = {
        {{L"/install"}, "Installed service " + name + ".\n", 0},
        {{L"/status"}, "Not running.\nAuto-start.\n", 3},
        {{L"/stop"}, "Service is already stopped.\n", 0},
        // Replacing or removing a service stops it first, and that answer is always shown.
        {{L"/install-demand"}, "Service is already stopped.\nInstalled service " + name + ".\n", 0},
        {{L"/status"}, "Not running.\n", 3},
        {{L"/uninstall"}, "Service is already stopped.\nUninstalled service " + name + ".\n", 0},
        {{L"/uninstall"}, "Could not delete service.\n", 1},
        {{L"/status"}, "Could not get status.\n", 1},
        {{L"/stop"}, "Could not stop service.\n", 1},
        {{L"/start"}, "Could not start service. Error code: 1060\n", 1},
        {{L"/start", service.name(), L"a", L"b"}, "Could not start service. Error code: 1060\n", 1},
        {{L"/restart"}, "Could not start service. Error code: 1060\n", 1},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(toUtf8(step.arguments.front()));
        const CommandRun run = runCommand(launcher, scratch, step.arguments);
        EXPECT_EQ(run.output, step.output);
        EXPECT_EQ(run.exitCode, step.exitCode);
    }
    EXPECT_FALSE(serviceExists(service.name()));
}

TEST(ServiceCommandsService, CommandsActOnTheNamedService)
{
    ScratchDirectory scratch;
    ServiceCleanup configured(uniqueServiceName());
    ServiceCleanup named(uniqueServiceName());
    LauncherSetup setup;
    setup.configuredName = configured.name();
    const std::wstring launcher = buildServiceLauncher(scratch, setup);
    ASSERT_FALSE(launcher.empty());

    EXPECT_EQ(runCommand(launcher, scratch, {L"/install-auto", named.name()}).exitCode, 0u);
    EXPECT_EQ(runCommand(launcher, scratch, {L"/status"}).output, "Could not get status.\n");
    const CommandRun status = runCommand(launcher, scratch, {L"/status", named.name()});
    EXPECT_EQ(status.output, "Not running.\nAuto-start.\n");
    EXPECT_EQ(status.exitCode, 3u);
    EXPECT_EQ(runCommand(launcher, scratch, {L"/uninstall"}).output, "Could not delete service.\n");
    const CommandRun uninstall = runCommand(launcher, scratch, {L"/uninstall", named.name()});
    EXPECT_EQ(uninstall.output, "Service is already stopped.\nUninstalled service " + quotedName(named.name()) + ".\n");
    EXPECT_FALSE(serviceExists(named.name()));
}

// A configuration larger than the usual status buffer (here a long command line) is still
// read: the status is reported with its proper exit code, not as an error.
TEST(ServiceCommandsService, StatusOfAServiceWithALargeConfiguration)
{
    ScratchDirectory scratch;
    ServiceCleanup service(uniqueServiceName());
    LauncherSetup setup;
    setup.configuredName = service.name();
    const std::wstring launcher = buildServiceLauncher(scratch, setup);
    ASSERT_FALSE(launcher.empty());
    {
        ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        ASSERT_TRUE(manager);
        const std::wstring binary = L"\"" + launcher + L"\" " + std::wstring(7000, L'x');
        ScHandle created(CreateServiceW(manager.handle, service.name().c_str(), service.name().c_str(),
                                        SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                        SERVICE_ERROR_NORMAL, binary.c_str(), nullptr, nullptr, nullptr, nullptr,
                                        nullptr));
        ASSERT_TRUE(created) << GetLastError();
    }
    const CommandRun run = runCommand(launcher, scratch, {L"/status"});
    EXPECT_EQ(run.output, "Not running.\nAuto-start.\n");
    EXPECT_EQ(run.exitCode, 3u);
}

TEST(ServiceCommandsService, HelpPrintsTheUsageLine)
{
    ScratchDirectory scratch;
    LauncherSetup setup;
    setup.configuredName = uniqueServiceName();
    setup.fileName = L"My.Service.exe";
    const std::wstring launcher = buildServiceLauncher(scratch, setup);
    ASSERT_FALSE(launcher.empty());
    for (const wchar_t* command : {L"/help", L"/?", L"-?", L"--help", L"/-help"}) {
        SCOPED_TRACE(toUtf8(command));
        const CommandRun run = runCommand(launcher, scratch, {command});
        EXPECT_EQ(run.output,
                  "Usage: My.Service.exe /install | /uninstall | /stop | /start | /status | /run | /run-redirect\n");
        EXPECT_EQ(run.exitCode, 0u);
    }
}

// From a console the dispatcher cannot connect to the service manager: logged, exit 0, and
// nothing is installed. (Wine's dispatcher gives up only after ten seconds, so the command
// lines run side by side.)
TEST(ServiceCommandsService, NoCommandLeadsToTheDispatcher)
{
    ScratchDirectory scratch;
    ServiceCleanup service(uniqueServiceName());
    LauncherSetup setup;
    setup.applicationKind = "4";
    setup.configuredName = service.name();
    const std::wstring launcher = buildServiceLauncher(scratch, setup);
    ASSERT_FALSE(launcher.empty());

    const std::vector<std::vector<std::wstring>> commandLines = {
        {}, {L"/INSTALL"}, {L"-Install"}, {L"install"}, {L"/bogus", L"x"},
    };
    std::vector<std::wstring> temps;
    std::vector<RunningProcess> runs;
    for (size_t i = 0; i < commandLines.size(); ++i) {
        temps.push_back(scratch.subdirectory(L"temp" + std::to_wstring(i)));
        ProcessOptions options = launcherOptions(temps.back(), commandLines[i], {{L"SEALDECK_LOG", L"yes"}});
        options.timeoutMs = 30000;
        runs.push_back(startProcess(launcher, options));
    }
    for (size_t i = 0; i < commandLines.size(); ++i) {
        SCOPED_TRACE(commandLines[i].empty() ? std::string("(none)") : toUtf8(commandLines[i].front()));
        const ProcessResult result = runs[i].wait(30000);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_EQ(consoleText(result), "");
        const std::vector<std::wstring> logs = listLogs(temps[i]);
        ASSERT_EQ(logs.size(), 1u);
        const std::string log = readLog(logs.front()).value_or(LogFile{}).text;
        EXPECT_TRUE(hasLogLine(log, "calling StartServiceCtrlDispatcher")) << log;
        EXPECT_TRUE(hasLogLineStartingWith(log, "StartServiceCtrlDispatcher failed with error ")) << log;
        EXPECT_TRUE(hasLogLine(log, "StartServiceCtrlDispatcher returned")) << log;
        EXPECT_TRUE(hasLogLineStartingWith(log, "command line ")) << log;
    }
    EXPECT_FALSE(serviceExists(service.name()));
}

} // namespace
