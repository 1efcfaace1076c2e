// Running services through the launcher's own commands: the service manager starts the
// launcher as a service, its worker runs the stand-in VM, and stop requests reach the Java
// side as the line "0". services.exe starts the processes with its own environment, so the
// stand-in's trace file travels in the configured VM options.
#include "tests/windows/service_test_support.h"

#include "testing/bench_support.h"
#include "testing/standin_runtime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace servicetest;

constexpr DWORD kRunningTimeoutMs = 20000;

struct ServiceApp {
    std::wstring launcher;
    std::wstring trace;
};

// A launcher with the stand-in runtime in "jre" beside it, installed by its commands under
// the configured name (or a name argument).
ServiceApp makeServiceApp(const ScratchDirectory& scratch, const std::wstring& configuredName)
{
    ServiceApp app;
    app.trace = scratch.file(L"trace.txt");
    sldkpack::LauncherModel model = basicModel("4");
    const std::pair<int32_t, std::string> config[] = {
        {101, toUtf8(configuredName)},
        {122, "com.example.Main"},
        {123, "-Xmx64m \"-Dsldk.trace=" + toUtf8(app.trace) + "\""},
        {125, "1"},
        {126, "1.8"},
        {128, "Ajre"},
    };
    for (const auto& [id, value] : config)
        sldkpack::setConfig(model, id, value);
    app.launcher = buildLauncherFile(kServiceStub, model, scratch.path(), L"svc.exe");
    EXPECT_TRUE(layOutStandinRuntime(toUtf8(scratch.path() + L"\\jre")));
    return app;
}

int countLines(const std::vector<std::string>& lines, const std::string& prefix)
{
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const std::string& line) { return line.rfind(prefix, 0) == 0; }));
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

// Waits until the trace holds count lines beginning with prefix.
bool waitForTraceLines(const std::wstring& trace, const std::string& prefix, int count, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (countLines(traceLines(trace), prefix) >= count)
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(50);
    }
}

struct CommandRun {
    std::string output;
    DWORD exitCode = 0;
};

CommandRun runCommand(const std::wstring& launcher, const ScratchDirectory& scratch, std::vector<std::wstring> arguments)
{
    const std::wstring temp = scratch.path() + L"\\temp";
    CreateDirectoryW(temp.c_str(), nullptr);
    ProcessOptions options = launcherOptions(temp, std::move(arguments));
    options.timeoutMs = 60000;
    const LauncherOutcome outcome = runLauncher(launcher, temp, options);
    for (const std::wstring& log : outcome.logs)
        DeleteFileW(log.c_str());
    return {consoleText(outcome.process), outcome.process.exitCode};
}

std::string quotedName(const std::wstring& name) { return std::string("'").append(toUtf8(name)).append("'"); }

// Installs and starts the service through the launcher and waits until main runs.
void startThroughCommands(const ServiceApp& app, const ScratchDirectory& scratch, const std::wstring& name,
                          int mainCallsBefore = 0)
{
    const CommandRun install = runCommand(app.launcher, scratch, {L"/install", name});
    ASSERT_EQ(install.exitCode, 0u) << install.output;
    const CommandRun start = runCommand(app.launcher, scratch, {L"/start", name});
    ASSERT_EQ(start.output, "Starting service " + quotedName(name) + ".\n");
    ASSERT_TRUE(waitForState(name, SERVICE_RUNNING, kRunningTimeoutMs));
    ASSERT_TRUE(waitForTraceLines(app.trace, "arg-count: ", mainCallsBefore + 1, kRunningTimeoutMs))
        << joined(traceLines(app.trace));
}

TEST(ServiceLifecycle, StartStatusAndStopThroughTheCommands)
{
    ScratchDirectory scratch;
    ServiceCleanup service(uniqueServiceName());
    const ServiceApp app = makeServiceApp(scratch, service.name());
    ASSERT_FALSE(app.launcher.empty());
    const std::string name = quotedName(service.name());

    ASSERT_EQ(runCommand(app.launcher, scratch, {L"/install"}).exitCode, 0u);
    const CommandRun start = runCommand(app.launcher, scratch, {L"/start", service.name(), L"first", L"second arg"});
    EXPECT_EQ(start.output, "Starting service " + name + ".\n");
    EXPECT_EQ(start.exitCode, 0u);
    ASSERT_TRUE(waitForState(service.name(), SERVICE_RUNNING, kRunningTimeoutMs));
    ASSERT_TRUE(waitForTraceLines(app.trace, "arg-count: ", 1, kRunningTimeoutMs)) << joined(traceLines(app.trace));
    std::vector<std::string> trace = traceLines(app.trace);
    // The two start arguments after the name reach main last, the blank kept.
    std::vector<std::string> arguments;
    for (const std::string& line : trace)
        if (line.rfind("arg ", 0) == 0)
            arguments.push_back(line.substr(line.find(": ") + 2));
    ASSERT_GE(arguments.size(), 2u) << joined(trace);
    EXPECT_EQ(std::vector<std::string>(arguments.end() - 2, arguments.end()),
              (std::vector<std::string>{"first", "second arg"}))
        << joined(trace);

    struct Step {
        std::vector<std::wstring> arguments;
        std::string output;
        DWORD exitCode;
    };
    const Step whileRunning[] = {
        {{L"/status"}, "Running.\nAuto-start.\n", 0},
        {{L"/start"}, "Service is already running.\n", 0},
        {{L"/stop"}, "Stopping service " + name + ".\nService stopped\n", 0},
        {{L"/status"}, "Not running.\nAuto-start.\n", 3},
        {{L"/stop"}, "Service is already stopped.\n", 0},
    };
    for (const Step& step : whileRunning) {
        SCOPED_TRACE(toUtf8(step.arguments.front()));
        const CommandRun run = runCommand(app.launcher, scratch, step.arguments);
        EXPECT_EQ(run.output, step.output);
        EXPECT_EQ(run.exitCode, step.exitCode);
    }
    trace = traceLines(app.trace);
    EXPECT_EQ(countLines(trace, "stdin: 0"), 1) << joined(trace);
    EXPECT_EQ(countLines(trace, "main: return"), 1) << joined(trace);
    EXPECT_EQ(waitForNoProcessOf(app.launcher, 10000), 0) << "a service or worker process was left running";
}

// The commands that stop a running service first show the stop, whatever their print flag.
TEST(ServiceLifecycle, CommandsOverARunningService)
{
    struct Case {
        const wchar_t* command;
        std::string lastLine; // after the two stop lines; "%s" stands for the quoted name
        bool installedAfter;
        DWORD stateAfter;
        int mainCalls; // main started in the worker, in all
    };
    const Case cases[] = {
        {L"/install", "Installed service %s.\n", true, SERVICE_STOPPED, 1},
        {L"/install-demand", "Installed service %s.\n", true, SERVICE_STOPPED, 1},
        {L"/uninstall", "Uninstalled service %s.\n", false, 0, 1},
        {L"/restart", "Starting service %s.\n", true, SERVICE_RUNNING, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(c.command));
        ScratchDirectory scratch;
        ServiceCleanup service(uniqueServiceName());
        const ServiceApp app = makeServiceApp(scratch, service.name());
        ASSERT_FALSE(app.launcher.empty());
        const std::string name = quotedName(service.name());
        startThroughCommands(app, scratch, service.name());
        if (HasFatalFailure())
            return;

        std::string last = c.lastLine;
        last.replace(last.find("%s"), 2, name);
        const CommandRun run = runCommand(app.launcher, scratch, {c.command});
        EXPECT_EQ(run.output, "Stopping service " + name + ".\nService stopped\n" + last);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(serviceExists(service.name()), c.installedAfter);
        if (c.installedAfter) {
            EXPECT_TRUE(waitForState(service.name(), c.stateAfter, kRunningTimeoutMs));
            EXPECT_TRUE(waitForTraceLines(app.trace, "arg-count: ", c.mainCalls, kRunningTimeoutMs));
        }
        const std::vector<std::string> trace = traceLines(app.trace);
        EXPECT_EQ(countLines(trace, "stdin: 0"), 1) << joined(trace);
        EXPECT_EQ(countLines(trace, "arg-count: "), c.mainCalls) << joined(trace);
    }
}

// --- load (a bench entry, not part of the default run) --------------------------------------

// Stops through the service manager and measures from the control to STOPPED.
double stopAndMeasureMs(const std::wstring& name)
{
    ScHandle service = openService(name, SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (!service)
        return -1;
    LARGE_INTEGER frequency{}, begin{}, now{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    SERVICE_STATUS status{};
    if (!ControlService(service.handle, SERVICE_CONTROL_STOP, &status))
        return -1;
    for (;;) {
        if (!QueryServiceStatus(service.handle, &status))
            return -1;
        QueryPerformanceCounter(&now);
        const double elapsed = 1000.0 * static_cast<double>(now.QuadPart - begin.QuadPart) / frequency.QuadPart;
        if (status.dwCurrentState == SERVICE_STOPPED)
            return elapsed;
        if (elapsed > 30000)
            return -1;
        Sleep(2);
    }
}

// The same stops of testing/plain_service, which reports STOPPED as soon as it is asked:
// what the service manager costs, measured in the same run as the launcher's stops.
std::vector<double> plainServiceStopLatencies(int cycles)
{
    const std::wstring binary = L"\"" + testProgramDirectory() + L"\\plain_service.exe\"";
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    std::vector<double> latencies;
    for (int cycle = 0; manager && cycle < cycles; ++cycle) {
        ServiceCleanup service(uniqueServiceName());
        ScHandle created(CreateServiceW(manager.handle, service.name().c_str(), service.name().c_str(),
                                        SERVICE_START | SERVICE_QUERY_STATUS, SERVICE_WIN32_OWN_PROCESS,
                                        SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, binary.c_str(), nullptr,
                                        nullptr, nullptr, nullptr, nullptr));
        EXPECT_TRUE(created) << GetLastError();
        if (!created || !StartServiceW(created.handle, 0, nullptr) ||
            !waitForState(service.name(), SERVICE_RUNNING, kRunningTimeoutMs)) {
            ADD_FAILURE() << "the plain service did not start, cycle " << cycle;
            break;
        }
        const double latency = stopAndMeasureMs(service.name());
        if (latency >= 0)
            latencies.push_back(latency);
    }
    return latencies;
}

TEST(ServiceLoad, DISABLED_CyclesAndConcurrentServices)
{
    ScratchDirectory scratch;
    const std::wstring configured = uniqueServiceName();
    const ServiceApp app = makeServiceApp(scratch, configured);
    ASSERT_FALSE(app.launcher.empty());

    std::vector<double> latencies;
    constexpr int kCycles = 20;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        ServiceCleanup service(uniqueServiceName());
        startThroughCommands(app, scratch, service.name(), cycle);
        if (HasFatalFailure())
            return;
        const double latency = stopAndMeasureMs(service.name());
        EXPECT_GE(latency, 0) << "cycle " << cycle;
        if (latency >= 0)
            latencies.push_back(latency);
        const CommandRun uninstall = runCommand(app.launcher, scratch, {L"/uninstall", service.name()});
        EXPECT_EQ(uninstall.exitCode, 0u) << uninstall.output;
    }

    constexpr int kConcurrent = 5;
    {
        std::vector<std::unique_ptr<ServiceCleanup>> services;
        for (int i = 0; i < kConcurrent; ++i) {
            services.push_back(std::make_unique<ServiceCleanup>(uniqueServiceName()));
            startThroughCommands(app, scratch, services.back()->name(), kCycles + i);
            if (HasFatalFailure())
                return;
        }
        EXPECT_EQ(processesOfImage(app.launcher), 2 * kConcurrent) << "one service process and one worker each";
        for (const auto& service : services) {
            const CommandRun stop = runCommand(app.launcher, scratch, {L"/stop", service->name()});
            EXPECT_EQ(stop.exitCode, 0u) << stop.output;
            const CommandRun uninstall = runCommand(app.launcher, scratch, {L"/uninstall", service->name()});
            EXPECT_EQ(uninstall.exitCode, 0u) << uninstall.output;
            EXPECT_FALSE(serviceExists(service->name()));
        }
    }
    EXPECT_EQ(waitForNoProcessOf(app.launcher, 10000), 0) << "worker or service processes left behind";
    EXPECT_FALSE(serviceExists(configured));

    ASSERT_FALSE(latencies.empty());
    const double launcherMedian = medianOf(latencies);
    std::printf("service stop latency (control sent to STOPPED): median %.1f ms, min %.1f ms, max %.1f ms over %zu stops\n",
                launcherMedian, *std::min_element(latencies.begin(), latencies.end()),
                *std::max_element(latencies.begin(), latencies.end()), latencies.size());
    const std::vector<double> plain = plainServiceStopLatencies(kCycles);
    ASSERT_FALSE(plain.empty());
    std::printf("stop latency of a service that only stops: median %.1f ms over %zu stops\n", medianOf(plain),
                plain.size());
    RecordProperty("stop_latency_median_ms", static_cast<int>(launcherMedian + 0.5));
}

} // namespace
