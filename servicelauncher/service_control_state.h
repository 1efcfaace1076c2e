// The status of the running service and the stop channel to its worker, shared by the
// service procedure, the control handler (on the dispatcher's thread) and nothing else.
// One lock covers the status record, every status report and the worker's input pipe, so a
// stop that arrives before or while the worker is being created is never lost, and the pipe
// is written and closed at most once.
//
// The Windows calls come in through ServiceLayer, so the rules are tested without a
// service control manager.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>

// The fields of SERVICE_STATUS in their order.
struct ServiceStatusRecord {
    uint32_t serviceType = 0x30; // own process together with share process
    uint32_t currentState = 4;
    uint32_t controlsAccepted = 5; // stop and shutdown
    uint32_t win32ExitCode = 0;
    uint32_t serviceSpecificExitCode = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = 50000;
};

inline constexpr uint32_t kServiceStopped = 1;
inline constexpr uint32_t kServiceStopPending = 3;
inline constexpr uint32_t kServiceRunning = 4;
inline constexpr uint32_t kControlStop = 1;
inline constexpr uint32_t kControlShutdown = 5;
inline constexpr uint32_t kServiceSpecificError = 1066;
inline constexpr uint32_t kWorkerStartFailure = 5000;
// What a write to a pipe that is already closed reports.
inline constexpr uint32_t kInvalidHandleError = 6;

// A pipe handle as an integer; 0 is none.
using PipeHandle = uintptr_t;

struct ServiceLayer {
    // SetServiceStatus; 0 or the system error code.
    std::function<uint32_t(const ServiceStatusRecord&)> reportStatus;
    // WriteFile of the whole text; 0 or the system error code.
    std::function<uint32_t(PipeHandle, std::string_view)> writeLine;
    std::function<void(PipeHandle)> closePipe;
    // Creates the worker and hands back the write end of its standard input; 0 when the
    // worker could not be started (the layer logs why).
    std::function<PipeHandle()> createWorker;
};

class ServiceControlState {
public:
    explicit ServiceControlState(ServiceLayer layer);
    ServiceControlState(const ServiceControlState&) = delete;
    ServiceControlState& operator=(const ServiceControlState&) = delete;

    // The first report, right after the control handler is registered.
    void reportRunning();
    // Nothing to supervise (no command line, no pipes, no worker): stopped with the
    // service-specific code, so the service does not show as running for ever.
    void reportStartFailure();
    // Creates the worker through the layer unless a stop came first. A stop that arrives
    // while the worker is being created is passed on right after. False: no worker runs and
    // the service is reported stopped.
    bool startWorker();
    // The control handler's work for one control code.
    void handleControl(uint32_t control);
    // Writes "<code>\n" to the worker's standard input and closes it, at most once.
    void sendShutdown(int code);
    // After the worker ended: exit code 0 or a requested stop report stopped (true); any
    // other end leaves the status running, so the end of the process counts as a failure
    // and the service manager's recovery applies.
    bool workerEnded(uint32_t exitCode);

    ServiceStatusRecord status() const;

private:
    void reportLocked(const char* failureFormat);
    void reportStoppedLocked(uint32_t win32ExitCode, uint32_t specificExitCode, const char* failureFormat);
    void sendShutdownLocked(int code);

    ServiceLayer layer_;
    mutable std::mutex lock_;
    ServiceStatusRecord status_;
    PipeHandle pipe_ = 0;
    bool stopRequested_ = false;
    bool workerPublished_ = false;
};

// The worker's priority class from the registry value (nullopt when it is absent or not 4
// bytes long): only the six priority-class flags are accepted, because other creation
// flags would give a suspended, debugged or console-owning worker.
uint32_t workerPriorityClass(std::optional<uint32_t> registryValue);
