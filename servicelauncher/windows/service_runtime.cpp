#include "servicelauncher/windows/service_runtime.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "launchcore/command_line.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/base/process_launch.h"
#include "launchcore/windows/process_paths.h"
#include "launchcore/windows/base/text_conversion.h"
#include "servicelauncher/service_control_state.h"
#include "servicelauncher/windows/service_name.h"
#include "servicelauncher/worker_command_line.h"

namespace {

constexpr size_t kMaxServiceName = 5999;
constexpr DWORD kOutputBlock = 6000;
const wchar_t kPriorityKey[] = L"SOFTWARE\\brenmark\\vexon\\priority";

SERVICE_STATUS_HANDLE g_statusHandle = nullptr;

// What the worker is started with; filled by serviceMainProc before startWorker runs.
struct WorkerLaunch {
    std::wstring commandLine;
    DWORD priorityClass = NORMAL_PRIORITY_CLASS;
    unique_handle outputRead;  // ours: drained by consumeChildOutput
    unique_handle outputWrite; // the worker's standard output and error
    unique_handle inputRead;   // the worker's standard input
    unique_handle inputWrite;  // ours: the stop channel
    unique_handle process;
    unique_handle thread;
};
WorkerLaunch g_launch;

DWORD WINAPI consumeChildOutput(LPVOID pipe)
{
    unique_handle readEnd(static_cast<HANDLE>(pipe));
    logLine(L"consuming output");
    std::vector<char> block(kOutputBlock);
    DWORD read = 0;
    while (ReadFile(readEnd.get(), block.data(), kOutputBlock, &read, nullptr) && read != 0) {
    }
    logLine(L"consuming output done");
    return 0;
}

PipeHandle createWorker()
{
    ProcessLaunch launch;
    // The own module, not element 0 of the command line: with an unquoted image path that
    // element is only the part before the first blank (C:\Program), and CreateProcess would
    // run whatever program lies there.
    launch.applicationName = moduleLongPath();
    launch.commandLine = g_launch.commandLine;
    launch.standardInput = g_launch.inputRead.get();
    launch.standardOutput = g_launch.outputWrite.get();
    launch.standardError = g_launch.outputWrite.get();
    launch.creationFlags = g_launch.priorityClass | DETACHED_PROCESS;
    launch.inheritHandles = true;
    // An empty name would let the command line choose the program after all.
    StartedProcess worker;
    worker.error = ERROR_FILE_NOT_FOUND;
    if (!launch.applicationName.empty())
        worker = startProcess(launch);
    if (!worker) {
        logLine(L"could not start process %s (%d)", g_launch.commandLine.c_str(), static_cast<int>(worker.error));
        return 0;
    }
    g_launch.process = std::move(worker.process);
    g_launch.thread = std::move(worker.thread);
    // Only the worker may hold these ends: its output must reach end-of-file when it exits,
    // and a write to the input of a dead worker must fail.
    g_launch.outputWrite.reset();
    g_launch.inputRead.reset();

    HANDLE drainPipe = g_launch.outputRead.release();
    HANDLE drain = CreateThread(nullptr, 0, consumeChildOutput, drainPipe, 0, nullptr);
    if (drain) {
        CloseHandle(drain);
    } else {
        // Without a reader the worker would block once the pipe is full; closed, its writes fail.
        logLine(L"could not start the output drain (%d)", static_cast<int>(GetLastError()));
        CloseHandle(drainPipe);
    }
    return reinterpret_cast<PipeHandle>(g_launch.inputWrite.release());
}

ServiceControlState& serviceState()
{
    static ServiceControlState state([] {
        ServiceLayer layer;
        layer.reportStatus = [](const ServiceStatusRecord& record) -> uint32_t {
            SERVICE_STATUS status{};
            status.dwServiceType = record.serviceType;
            status.dwCurrentState = record.currentState;
            status.dwControlsAccepted = record.controlsAccepted;
            status.dwWin32ExitCode = record.win32ExitCode;
            status.dwServiceSpecificExitCode = record.serviceSpecificExitCode;
            status.dwCheckPoint = record.checkPoint;
            status.dwWaitHint = record.waitHint;
            return SetServiceStatus(g_statusHandle, &status) ? 0 : GetLastError();
        };
        layer.writeLine = [](PipeHandle pipe, std::string_view text) -> uint32_t {
            DWORD written = 0;
            if (!WriteFile(reinterpret_cast<HANDLE>(pipe), text.data(), static_cast<DWORD>(text.size()), &written,
                           nullptr))
                return GetLastError();
            return written == text.size() ? 0 : ERROR_WRITE_FAULT;
        };
        layer.closePipe = [](PipeHandle pipe) { CloseHandle(reinterpret_cast<HANDLE>(pipe)); };
        layer.createWorker = createWorker;
        return layer;
    }());
    return state;
}

void WINAPI serviceControlHandler(DWORD control) { serviceState().handleControl(control); }

// Only the length is examined, so a 4-byte REG_BINARY counts like a REG_DWORD.
std::optional<uint32_t> priorityFromRegistry(const std::wstring& service)
{
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPriorityKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExW(key.get(), service.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        size != sizeof(value))
        return std::nullopt;
    return value;
}

// The two pipes: their worker ends inheritable, ours not. False after logging the failure.
bool createWorkerPipes()
{
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    if (!CreatePipe(g_launch.outputRead.put(), g_launch.outputWrite.put(), &inheritable, 0)) {
        logLine(L"CreatePipe error (%d)", static_cast<int>(GetLastError()));
        return false;
    }
    if (!SetHandleInformation(g_launch.outputRead.get(), HANDLE_FLAG_INHERIT, 0)) {
        logLine(L"SetHandleInformation error (%d)", static_cast<int>(GetLastError()));
        return false;
    }
    if (!CreatePipe(g_launch.inputRead.put(), g_launch.inputWrite.put(), &inheritable, 0)) {
        logLine(L"CreatePipe error 2 (%d)", static_cast<int>(GetLastError()));
        return false;
    }
    if (!SetHandleInformation(g_launch.inputWrite.get(), HANDLE_FLAG_INHERIT, 0)) {
        logLine(L"SetHandleInformation error 2 (%d)", static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

void closeWorkerPipes()
{
    g_launch.outputRead.reset();
    g_launch.outputWrite.reset();
    g_launch.inputRead.reset();
    g_launch.inputWrite.reset();
}

bool buildCommandLine(DWORD argumentCount, LPWSTR* arguments)
{
    std::vector<std::u16string> processArguments;
    splitCommandLine(toU16(GetCommandLineW()), processArguments);
    std::vector<std::u16string> startArguments;
    for (DWORD i = 0; i < argumentCount; ++i)
        startArguments.push_back(arguments[i] ? toU16(arguments[i]) : std::u16string());
    const WorkerCommandLine line = buildWorkerCommandLine(processArguments, toU16(serviceName()), startArguments);
    switch (line.problem) {
    case WorkerCommandLineProblem::None:
        g_launch.commandLine = toWide(line.text);
        return true;
    case WorkerCommandLineProblem::UnquotablePiece:
        logLine(L"worker argument with a double quote cannot be passed: %s", toWide(line.offendingPiece).c_str());
        return false;
    case WorkerCommandLineProblem::TooLong:
        logLine(L"worker command line too long");
        return false;
    }
    return false;
}

} // namespace

BOOL WINAPI ignoreConsoleEvent(DWORD)
{
    logLine(L"ConsoleCtrlHandler event");
    return TRUE;
}

void WINAPI serviceMainProc(DWORD argumentCount, LPWSTR* arguments)
{
    logLine(L"service main");
    const wchar_t* first = argumentCount > 0 ? arguments[0] : nullptr;
    const size_t firstLength = first ? wcslen(first) : 0;
    setServiceName(firstLength >= 1 && firstLength <= kMaxServiceName ? std::wstring(first) : std::wstring(L"unknown"));
    logLine(L"service name is '%s'", serviceName().c_str());

    ServiceControlState& state = serviceState();
    g_statusHandle = RegisterServiceCtrlHandlerW(serviceName().c_str(), serviceControlHandler);
    if (!g_statusHandle) {
        logError(L"RegisterServiceCtrlHandler failed (%d)", static_cast<int>(GetLastError()));
        return;
    }
    state.reportRunning();

    if (!buildCommandLine(argumentCount, arguments) || !createWorkerPipes()) {
        closeWorkerPipes();
        state.reportStartFailure();
        return;
    }
    g_launch.priorityClass = workerPriorityClass(priorityFromRegistry(serviceName()));

    const bool started = state.startWorker();
    closeWorkerPipes();
    if (!started)
        return;
    logLine(L"registering ConsoleCtrlHandler");
    SetConsoleCtrlHandler(ignoreConsoleEvent, TRUE);

    const ProcessWait waited = waitForProcess(g_launch.process.get(), INFINITE, false);
    const DWORD exitCode = waited.exitCodeRead ? waited.exitCode : waited.error;
    logLine(L"process terminated with exit code %d", static_cast<int>(exitCode));
    state.workerEnded(exitCode);

    g_launch.process.reset();
    g_launch.thread.reset();
    logLine(L"exiting");
    // ExitProcess, not a return to the dispatcher: a worker that failed leaves the status
    // running, and only the end of the process makes the manager count it as a failure.
    ExitProcess(0);
}
