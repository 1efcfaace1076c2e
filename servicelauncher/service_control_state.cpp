#include "servicelauncher/service_control_state.h"

#include <string>
#include <utility>

#include "launchcore/diagnostics.h"

namespace {

constexpr uint32_t kNormalPriorityClass = 0x20;
constexpr uint32_t kPriorityClasses[] = {0x20, 0x40, 0x80, 0x100, 0x4000, 0x8000};

} // namespace

ServiceControlState::ServiceControlState(ServiceLayer layer) : layer_(std::move(layer)) {}

void ServiceControlState::reportLocked(const char* failureFormat)
{
    // The checkpoint only counts progress of a pending state.
    if (status_.currentState != kServiceStopPending)
        status_.checkPoint = 0;
    const uint32_t error = layer_.reportStatus(status_);
    if (error != 0 && failureFormat)
        diagnosticLine(failureFormat, static_cast<int>(error));
}

void ServiceControlState::reportStoppedLocked(uint32_t win32ExitCode, uint32_t specificExitCode,
                                              const char* failureFormat)
{
    status_.currentState = kServiceStopped;
    status_.win32ExitCode = win32ExitCode;
    status_.serviceSpecificExitCode = specificExitCode;
    reportLocked(failureFormat);
}

void ServiceControlState::reportRunning()
{
    std::lock_guard<std::mutex> guard(lock_);
    reportLocked(nullptr);
}

void ServiceControlState::reportStartFailure()
{
    std::lock_guard<std::mutex> guard(lock_);
    reportStoppedLocked(kServiceSpecificError, kWorkerStartFailure, nullptr);
}

bool ServiceControlState::startWorker()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopRequested_) {
            diagnosticLine("stop requested before the worker was started");
            reportStoppedLocked(0, 0, "SetServiceStatus 10 failed %d");
            diagnosticLine("service stopped set");
            return false;
        }
    }
    // Not under the lock: the control handler must be able to record a stop meanwhile.
    const PipeHandle input = layer_.createWorker();

    std::lock_guard<std::mutex> guard(lock_);
    if (input == 0) {
        reportStoppedLocked(kServiceSpecificError, kWorkerStartFailure, nullptr);
        return false;
    }
    pipe_ = input;
    workerPublished_ = true;
    if (stopRequested_) {
        // The stop-pending state stays; the worker's end reports stopped.
        sendShutdownLocked(0);
    } else {
        reportLocked(nullptr);
    }
    return true;
}

void ServiceControlState::handleControl(uint32_t control)
{
    std::lock_guard<std::mutex> guard(lock_);
    diagnosticLine("control handler request %d", static_cast<int>(control));
    // Once stopped, the process is about to end: only the status is repeated.
    if (status_.currentState == kServiceStopped) {
        reportLocked("SetServiceStatus 3 failed %d");
        return;
    }
    switch (control) {
    case kControlStop:
        stopRequested_ = true;
        status_.currentState = kServiceStopPending;
        reportLocked("SetServiceStatus 2 failed %d");
        sendShutdownLocked(0);
        break;
    case kControlShutdown:
        stopRequested_ = true;
        ++status_.checkPoint;
        status_.currentState = kServiceStopPending;
        reportLocked("SetServiceStatus 1 failed %d");
        sendShutdownLocked(0);
        break;
    default:
        reportLocked("SetServiceStatus 3 failed %d");
        break;
    }
}

void ServiceControlState::sendShutdown(int code)
{
    std::lock_guard<std::mutex> guard(lock_);
    sendShutdownLocked(code);
}

void ServiceControlState::sendShutdownLocked(int code)
{
    diagnosticLine("sending shutdown1 %d", code);
    if (!workerPublished_) {
        // Nothing to write to yet; startWorker sees the request.
        diagnosticLine("worker not started yet, stop noted");
        return;
    }
    // Taken out before use, so a second request never touches a closed handle value that
    // may by then name another object.
    const PipeHandle pipe = std::exchange(pipe_, 0);
    const uint32_t error = pipe != 0 ? layer_.writeLine(pipe, std::to_string(code) + "\n") : kInvalidHandleError;
    if (error != 0) {
        diagnosticLine("sending shutdown failed");
        diagnosticLine("error code %d", static_cast<int>(error));
    }
    if (pipe != 0)
        layer_.closePipe(pipe);
    diagnosticLine("shutdown sent");
}

bool ServiceControlState::workerEnded(uint32_t exitCode)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (const PipeHandle pipe = std::exchange(pipe_, 0); pipe != 0)
        layer_.closePipe(pipe);
    if (exitCode != 0 && status_.currentState != kServiceStopPending)
        return false;
    reportStoppedLocked(0, 0, "SetServiceStatus 10 failed %d");
    diagnosticLine("service stopped set");
    return true;
}

ServiceStatusRecord ServiceControlState::status() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return status_;
}

uint32_t workerPriorityClass(std::optional<uint32_t> registryValue)
{
    if (!registryValue)
        return kNormalPriorityClass;
    for (uint32_t accepted : kPriorityClasses) {
        if (*registryValue == accepted) {
            diagnosticLine("using priority %d", static_cast<int>(accepted));
            return accepted;
        }
    }
    diagnosticLine("priority %d not accepted, using %d", static_cast<int>(*registryValue),
                   static_cast<int>(kNormalPriorityClass));
    return kNormalPriorityClass;
}
