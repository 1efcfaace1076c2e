// The service run time under Wine's service manager: services installed straight through
// CreateServiceW point at a servicelauncher built for the test, with the stand-in runtime
// beside it. services.exe starts them with its own environment, so everything the stand-in
// VM needs (its trace file, its knobs) travels in the configured VM options.
#include "testing/launcher_run.h"
#include "testing/standin_runtime.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

using Config = std::vector<std::pair<int32_t, std::string>>;

constexpr DWORD kStateTimeoutMs = 20000;

bool contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

bool waitForTraceLine(const std::wstring& trace, const std::string& prefix, DWORD timeoutMs)
{
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        if (!traced(traceLines(trace), prefix).empty())
            return true;
        Sleep(50);
    }
    return false;
}

std::wstring uniqueServiceName()
{
    static int counter = 0;
    return L"sldk-rt-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

// A launcher built into directory with the stand-in runtime in "jre" beside it. The trace
// file and the stand-in's knobs ("-Dsldk.jvm_exit=1" for SLDK_JVM_EXIT) go into entry 123.
struct ServiceApp {
    std::wstring launcher;
    std::wstring trace;
};

ServiceApp makeServiceApp(const std::wstring& directory, const std::wstring& trace,
                          const std::vector<std::string>& knobs = {})
{
    std::string options = "-Xmx64m \"-Dsldk.trace=" + toUtf8(trace) + "\"";
    for (const std::string& knob : knobs)
        options += " " + knob;
    const Config config = {
        {101, "ConfiguredName"}, {122, "com.example.Main"}, {123, options},
        {125, "1"},              {126, "1.8"},              {128, "Ajre"},
    };
    sldkpack::LauncherModel model = basicModel("4");
    for (const auto& [id, value] : config)
        sldkpack::setConfig(model, id, value);
    ServiceApp app;
    app.trace = trace;
    app.launcher = buildLauncherFile(kServiceStub, model, directory, L"svc.exe");
    EXPECT_TRUE(layOutStandinRuntime(toUtf8(directory + L"\\jre")));
    return app;
}

SERVICE_STATUS_PROCESS queryStatus(SC_HANDLE service)
{
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                              &needed))
        status.dwCurrentState = 0;
    return status;
}

// Polls until the service is in state (or the timeout passes) and returns the last status.
SERVICE_STATUS_PROCESS waitForState(SC_HANDLE service, DWORD state, DWORD timeoutMs = kStateTimeoutMs)
{
    SERVICE_STATUS_PROCESS status = queryStatus(service);
    for (DWORD waited = 0; status.dwCurrentState != state && waited < timeoutMs; waited += 50) {
        Sleep(50);
        status = queryStatus(service);
    }
    return status;
}

// A service registered for one test; stopped, its processes ended and deleted at the end
// whatever the test did.
class InstalledService {
public:
    InstalledService(const std::wstring& binary)
    {
        name_ = uniqueServiceName();
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        if (!manager_)
            return;
        const std::wstring path = L"\"" + binary + L"\"";
        service_ = CreateServiceW(manager_, name_.c_str(), name_.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                  SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr, nullptr,
                                  nullptr, nullptr);
        createError_ = service_ ? 0 : GetLastError();
    }
    InstalledService(const InstalledService&) = delete;
    InstalledService& operator=(const InstalledService&) = delete;
    ~InstalledService()
    {
        if (service_) {
            SERVICE_STATUS status{};
            const SERVICE_STATUS_PROCESS now = queryStatus(service_);
            if (now.dwCurrentState != SERVICE_STOPPED && now.dwCurrentState != 0) {
                // A service whose process ended without reporting stopped refuses the stop.
                const bool stopping = ControlService(service_, SERVICE_CONTROL_STOP, &status);
                const SERVICE_STATUS_PROCESS after = stopping ? waitForState(service_, SERVICE_STOPPED, 10000) : now;
                if (after.dwCurrentState != SERVICE_STOPPED && after.dwProcessId != 0) {
                    // The service process this test started; its worker sees its input
                    // closed and ends with it.
                    if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, after.dwProcessId)) {
                        TerminateProcess(process, 99);
                        CloseHandle(process);
                    }
                }
            }
            DeleteService(service_);
            CloseServiceHandle(service_);
        }
        if (manager_)
            CloseServiceHandle(manager_);
    }

    bool installed() const { return service_ != nullptr; }
    DWORD createError() const { return createError_; }
    const std::wstring& name() const { return name_; }
    SC_HANDLE handle() const { return service_; }

    bool start(const std::vector<std::wstring>& arguments = {});

    bool stop()
    {
        SERVICE_STATUS status{};
        return ControlService(service_, SERVICE_CONTROL_STOP, &status);
    }

private:
    std::wstring name_;
    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
    DWORD createError_ = 0;
};

// The log of the service process, in the temporary folder of services.exe, found by the
// service's unique name. A service that reports stopped returns from the dispatcher and
// ends normally, which deletes its log, so the log is held open without delete sharing
// from the moment it is found; it is removed when the holder goes.
class ServiceLog {
public:
    ServiceLog() = default;
    ServiceLog(const ServiceLog&) = delete;
    ServiceLog& operator=(const ServiceLog&) = delete;
    ~ServiceLog()
    {
        if (hold_ != INVALID_HANDLE_VALUE) {
            CloseHandle(hold_);
            DeleteFileW(path_.c_str());
        }
    }

    // Logs of an earlier run whose test process had the same id carry the same name.
    static void removeStale(const std::wstring& serviceName)
    {
        const std::string marker = "service name is '" + toUtf8(serviceName) + "'";
        for (const std::wstring& folder : candidateFolders()) {
            for (const std::wstring& log : listLogs(folder)) {
                const auto text = readLog(log);
                if (text && text->text.find(marker) != std::string::npos)
                    DeleteFileW(log.c_str());
            }
        }
    }

    bool find(const std::wstring& serviceName, DWORD timeoutMs)
    {
        const std::string marker = "service name is '" + toUtf8(serviceName) + "'";
        for (DWORD waited = 0;; waited += 20) {
            for (const std::wstring& folder : candidateFolders()) {
                for (const std::wstring& log : listLogs(folder)) {
                    const auto text = readLog(log);
                    if (!text || text->text.find(marker) == std::string::npos)
                        continue;
                    hold_ = CreateFileW(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
                    path_ = log;
                    return true;
                }
            }
            if (waited >= timeoutMs)
                return false;
            Sleep(20);
        }
    }

    std::string text() const
    {
        const auto log = readLog(path_);
        return log ? log->text : std::string();
    }

    // Waits until the process wrote its last line.
    std::string finishedText(DWORD timeoutMs) const
    {
        std::string text = this->text();
        for (DWORD waited = 0; !hasLogLine(text, "exiting") && waited < timeoutMs; waited += 50) {
            Sleep(50);
            text = this->text();
        }
        return text;
    }

private:
    static std::vector<std::wstring> candidateFolders()
    {
        std::vector<std::wstring> folders;
        wchar_t temp[MAX_PATH + 1] = {};
        const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        if (length > 0 && length <= MAX_PATH)
            folders.emplace_back(temp, length);
        wchar_t windows[MAX_PATH] = {};
        const UINT windowsLength = GetWindowsDirectoryW(windows, MAX_PATH);
        if (windowsLength > 0 && windowsLength < MAX_PATH)
            folders.push_back(std::wstring(windows, windowsLength) + L"\\temp\\");
        return folders;
    }

    std::wstring path_;
    HANDLE hold_ = INVALID_HANDLE_VALUE;
};

bool InstalledService::start(const std::vector<std::wstring>& arguments)
{
    ServiceLog::removeStale(name_);
    std::vector<const wchar_t*> pointers;
    for (const std::wstring& argument : arguments)
        pointers.push_back(argument.c_str());
    return StartServiceW(service_, static_cast<DWORD>(pointers.size()), pointers.empty() ? nullptr : pointers.data());
}

} // namespace

// A start gives a running service whose worker calls main as a service; a stop reaches the
// Java side as the line "0" and the service ends stopped.
TEST(ServiceRuntime, StartRunsTheWorkerAndStopEndsIt)
{
    ScratchDirectory scratch;
    const ServiceApp app = makeServiceApp(scratch.path(), scratch.file(L"trace.txt"));
    ASSERT_FALSE(app.launcher.empty());
    InstalledService service(app.launcher);
    ASSERT_TRUE(service.installed()) << service.createError();

    ASSERT_TRUE(service.start({L"alpha", L"two words", L"it's"})) << GetLastError();
    EXPECT_EQ(waitForState(service.handle(), SERVICE_RUNNING).dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    ASSERT_TRUE(waitForTraceLine(app.trace, "arg 8: ", kStateTimeoutMs)) << joined(traceLines(app.trace));

    std::vector<std::string> trace = traceLines(app.trace);
    const std::vector<std::string> options = traced(trace, "option: ");
    EXPECT_TRUE(contains(options, "-Xrs")) << joined(options);
    EXPECT_TRUE(contains(options, "-Dvexon.isService=true")) << joined(options);
    EXPECT_FALSE(contains(options, "-Dsealdeck.noRedir=true")) << joined(options);
    // The start arguments after the service name reach main behind the launcher arguments,
    // blanks and apostrophes intact; the service name itself does not.
    const std::vector<std::string> arguments = traced(trace, "arg ");
    ASSERT_GE(arguments.size(), 3u) << joined(trace);
    const std::vector<std::string> last(arguments.end() - 3, arguments.end());
    EXPECT_EQ(last, (std::vector<std::string>{"6: alpha", "7: two words", "8: it's"})) << joined(trace);
    EXPECT_FALSE(contains(trace, "main: return")) << "a service's main waits for its stop line\n" << joined(trace);

    ServiceLog serviceLog;
    ASSERT_TRUE(serviceLog.find(service.name(), kStateTimeoutMs));
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, queryStatus(service.handle()).dwProcessId);
    ASSERT_TRUE(service.stop()) << GetLastError();
    EXPECT_EQ(waitForState(service.handle(), SERVICE_STOPPED).dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    trace = traceLines(app.trace);
    EXPECT_TRUE(contains(trace, "stdin: 0")) << joined(trace);
    EXPECT_TRUE(contains(trace, "main: return")) << joined(trace);

    // Once stopped is reported the dispatcher returns and the process ends on its main
    // thread, so the lines the service procedure writes after that report may be cut off.
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(WaitForSingleObject(process, kStateTimeoutMs), WAIT_OBJECT_0);
    CloseHandle(process);
    const std::string log = serviceLog.text();
    for (const char* line : {"service main", "control handler request 1", "sending shutdown1 0", "shutdown sent",
                             "registering ConsoleCtrlHandler", "process terminated with exit code 0"})
        EXPECT_TRUE(hasLogLine(log, line)) << line << "\n" << log;
    EXPECT_FALSE(hasLogLine(log, "sending shutdown failed")) << log;
}

// A stop that comes as soon as the manager accepts one, whether the worker exists yet or
// not, is never lost: the service reaches stopped and no worker is left waiting.
TEST(ServiceRuntime, StopRightAfterStart)
{
    ScratchDirectory scratch;
    const ServiceApp app = makeServiceApp(scratch.path(), scratch.file(L"trace.txt"));
    ASSERT_FALSE(app.launcher.empty());
    InstalledService service(app.launcher);
    ASSERT_TRUE(service.installed()) << service.createError();
    ASSERT_TRUE(service.start()) << GetLastError();
    bool stopping = false;
    for (DWORD waited = 0; !stopping && waited < kStateTimeoutMs; waited += 5) {
        stopping = service.stop();
        if (!stopping)
            Sleep(5);
    }
    ASSERT_TRUE(stopping) << GetLastError();
    EXPECT_EQ(waitForState(service.handle(), SERVICE_STOPPED).dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    const std::vector<std::string> trace = traceLines(app.trace);
    // A worker that got as far as main received its stop line.
    if (contains(trace, "main: return") || !traced(trace, "arg-count: ").empty()) {
        EXPECT_TRUE(contains(trace, "stdin: 0") || contains(trace, "stdin: end")) << joined(trace);
    }
}

// A worker that ends by itself: exit code 0 is a clean stop, any other code leaves the
// status running so that the end of the process counts as a failure (Wine's service
// manager then keeps showing the last reported state).
TEST(ServiceRuntime, WorkerEndingByItself)
{
    struct Case {
        const char* exitCode;
        DWORD finalState;
    };
    const Case cases[] = {{"0", SERVICE_STOPPED}, {"1", SERVICE_RUNNING}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("exit code ") + c.exitCode);
        ScratchDirectory scratch;
        const ServiceApp app = makeServiceApp(scratch.path(), scratch.file(L"trace.txt"),
                                              {"-Dsldk.jvm_wait_stdin=0", std::string("-Dsldk.jvm_exit=") + c.exitCode});
        ASSERT_FALSE(app.launcher.empty());
        InstalledService service(app.launcher);
        ASSERT_TRUE(service.installed()) << service.createError();
        ASSERT_TRUE(service.start()) << GetLastError();
        const DWORD processId = queryStatus(service.handle()).dwProcessId;
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
        ASSERT_TRUE(waitForTraceLine(app.trace, "main: exit", kStateTimeoutMs)) << joined(traceLines(app.trace));
        if (process) {
            EXPECT_EQ(WaitForSingleObject(process, kStateTimeoutMs), WAIT_OBJECT_0) << "the service process stays";
            CloseHandle(process);
        }
        const SERVICE_STATUS_PROCESS status = waitForState(service.handle(), c.finalState, 2000);
        EXPECT_EQ(status.dwCurrentState, c.finalState);
        EXPECT_EQ(status.dwWin32ExitCode, 0u);

        // The failure path ends with ExitProcess, which keeps the log: it tells why.
        if (c.finalState == SERVICE_RUNNING) {
            ServiceLog serviceLog;
            ASSERT_TRUE(serviceLog.find(service.name(), kStateTimeoutMs));
            const std::string log = serviceLog.finishedText(kStateTimeoutMs);
            EXPECT_TRUE(hasLogLine(log, "process terminated with exit code 1")) << log;
            EXPECT_TRUE(hasLogLine(log, "exiting")) << log;
            EXPECT_FALSE(hasLogLine(log, "service stopped set")) << log;
        }
    }
}

// The image path holds an apostrophe, a blank or both: the worker's command line has to
// carry it through the launcher's own splitter, where an unquoted apostrophe opens a quoted
// part, or the worker takes the dispatcher path and never runs the application.
TEST(ServiceRuntime, ExecutablePathWithBlankAndApostrophe)
{
    for (const wchar_t* folder : {L"O'Neil", L"O'Neil app dir", L"app dir"}) {
        SCOPED_TRACE(toUtf8(folder));
        ScratchDirectory scratch;
        const std::wstring directory = scratch.subdirectory(folder);
        const ServiceApp app = makeServiceApp(directory, scratch.file(L"trace.txt"));
        ASSERT_FALSE(app.launcher.empty());
        InstalledService service(app.launcher);
        ASSERT_TRUE(service.installed()) << service.createError();
        ASSERT_TRUE(service.start({L"x y"})) << GetLastError();
        ASSERT_TRUE(waitForTraceLine(app.trace, "arg 6: ", kStateTimeoutMs)) << joined(traceLines(app.trace));
        const std::vector<std::string> trace = traceLines(app.trace);
        EXPECT_TRUE(contains(traced(trace, "option: "), "-Dvexon.moduleName=" + toUtf8(app.launcher))) << joined(trace);
        EXPECT_TRUE(contains(traced(trace, "arg "), "6: x y")) << joined(trace);
        ASSERT_TRUE(service.stop());
        EXPECT_EQ(waitForState(service.handle(), SERVICE_STOPPED).dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
        EXPECT_TRUE(contains(traceLines(app.trace), "stdin: 0"));
    }
}

// The console runs are no service: no "-Xrs", no service property, and only "/run" asks the
// Java side not to redirect its output.
TEST(ServiceRuntime, ConsoleRunsAreNoService)
{
    struct Case {
        const wchar_t* command;
        bool noRedirection;
    };
    const Case cases[] = {{L"/run", true}, {L"/run-redirect", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(c.command));
        ScratchDirectory scratch;
        const ServiceApp app = makeServiceApp(scratch.path(), scratch.file(L"trace.txt"));
        ASSERT_FALSE(app.launcher.empty());
        const LauncherOutcome outcome =
            runLauncher(app.launcher, scratch.subdirectory(L"tmp"), {c.command, L"a b"}, {{L"MANPATH", L""}});
        const std::vector<std::string> trace = traceLines(app.trace);
        EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome) << joined(trace);
        const std::vector<std::string> options = traced(trace, "option: ");
        ASSERT_FALSE(options.empty()) << joined(trace);
        EXPECT_FALSE(contains(options, "-Xrs")) << joined(options);
        EXPECT_FALSE(contains(options, "-Dvexon.isService=true")) << joined(options);
        EXPECT_EQ(contains(options, "-Dsealdeck.noRedir=true"), c.noRedirection) << joined(options);
        EXPECT_FALSE(contains(trace, "stdin: 0")) << "only a service waits for its stop line\n" << joined(trace);
        EXPECT_TRUE(contains(trace, "main: return")) << joined(trace);
        EXPECT_TRUE(contains(traced(trace, "arg "), "6: a b")) << joined(trace);
    }
}
