#include "servicelauncher/windows/scm_operations.h"

#include "launchcore/configuration_entries.h"
#include "launchcore/windows/messages/message_texts.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/base/console_output.h"
#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/base/late_binding.h"
#include "launchcore/windows/process_paths.h"
#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/base/wide_format.h"
#include "servicelauncher/service_commands.h"
#include "servicelauncher/windows/service_name.h"

namespace {

constexpr DWORD kStatusConfigBufferSize = 6000;
constexpr DWORD kStopPollMs = 500;

// The service name as the console lines show it (8-bit, like every line of the commands).
std::string printableServiceName() { return narrowAnsi(serviceName()); }

// Logs the failure of a service-manager call with its error code and keeps that code: some
// console lines print it after the log is written.
void logFailure(const wchar_t* call)
{
    const DWORD error = GetLastError();
    logError(L"%s failed (%d)", call, static_cast<int>(error));
    SetLastError(error);
}

unique_sc_handle openManager(DWORD access)
{
    unique_sc_handle manager(OpenSCManagerA(nullptr, nullptr, access));
    if (!manager)
        logFailure(L"OpenSCManager");
    return manager;
}

unique_sc_handle openService(const unique_sc_handle& manager, DWORD access)
{
    unique_sc_handle service(OpenServiceW(manager.get(), serviceName().c_str(), access));
    if (service)
        return service;
    // An install first removes a service of the same name, which usually does not exist.
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_DOES_NOT_EXIST)
        logLine(L"OpenService failed (%d)", static_cast<int>(error));
    else
        logFailure(L"OpenService");
    SetLastError(error);
    return service;
}

// Optional: the description is a nicety the service manager of old systems lacks.
void setServiceDescription(SC_HANDLE service)
{
    std::wstring description = messageText(20017);
    if (description.empty())
        return;
    using ChangeServiceConfig2WFunction = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPVOID);
    const auto change = lateBound<ChangeServiceConfig2WFunction>(L"advapi32.dll", "ChangeServiceConfig2W");
    if (!change)
        return;
    SERVICE_DESCRIPTIONW info{description.data()};
    if (!change(service, SERVICE_CONFIG_DESCRIPTION, &info))
        logError(L"could not set the service description (%d)", static_cast<int>(GetLastError()));
}

} // namespace

int installService(DWORD startType)
{
    uninstallService(false);
    unique_sc_handle manager = openManager(SC_MANAGER_ALL_ACCESS);
    if (!manager) {
        printConsole("Could not open SCManager.\n");
        return 1;
    }
    const std::wstring binaryPath = formatWide(L"\"%s\"", moduleLongPath().c_str());
    const std::wstring dependencies = toWide(serviceDependencyList(toU16(configStringWide(config_entry::kServiceDependencies))));
    const std::wstring& name = serviceName();
    unique_sc_handle service(CreateServiceW(manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                            SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_NORMAL,
                                            binaryPath.c_str(), nullptr, nullptr,
                                            dependencies.empty() ? nullptr : dependencies.c_str(), nullptr, nullptr));
    if (!service) {
        logError(L"CreateService failed (%d)", static_cast<int>(GetLastError()));
        printConsole("Could not create service.\n");
        return 1;
    }
    setServiceDescription(service.get());
    service.reset();
    manager.reset();
    printConsole("Installed service '%s'.\n", printableServiceName().c_str());
    return 0;
}

int uninstallService(bool print)
{
    stopServiceOutcome(false);
    unique_sc_handle manager = openManager(SC_MANAGER_ALL_ACCESS);
    if (!manager) {
        if (print)
            printConsole("Could not open SCManager.\n");
        return 1;
    }
    unique_sc_handle service = openService(manager, DELETE);
    const bool deleted = service && DeleteService(service.get());
    if (service && !deleted)
        logFailure(L"DeleteService");
    if (!deleted) {
        if (print)
            printConsole("Could not delete service.\n");
        return 1;
    }
    service.reset();
    manager.reset();
    if (print)
        printConsole("Uninstalled service '%s'.\n", printableServiceName().c_str());
    return 0;
}

StopOutcome stopServiceOutcome(bool print)
{
    unique_sc_handle manager = openManager(SC_MANAGER_CONNECT);
    if (!manager) {
        if (print)
            printConsole("Could not open SCManager.\n");
        return StopOutcome::Failed;
    }
    unique_sc_handle service = openService(manager, SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (!service) {
        if (print)
            printConsole("Could not stop service.\n");
        return StopOutcome::Failed;
    }
    SERVICE_STATUS status{};
    if (ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
        // Printed without the print flag too: an install over a running service shows that
        // the running copy was stopped first.
        printConsole("Stopping service '%s'.\n", printableServiceName().c_str());
        if (waitForServiceStop(service.get())) {
            printConsole("Service stopped\n");
            return StopOutcome::Stopped;
        }
        printConsole("Error while stopping service\n");
        return StopOutcome::StillRunning;
    }
    if (GetLastError() == ERROR_SERVICE_NOT_ACTIVE) {
        printConsole("Service is already stopped.\n");
        return StopOutcome::AlreadyStopped;
    }
    logFailure(L"ControlService");
    if (print)
        printConsole("Could not stop service.\n");
    return StopOutcome::Failed;
}

int stopService(bool print)
{
    const StopOutcome outcome = stopServiceOutcome(print);
    return outcome == StopOutcome::Stopped || outcome == StopOutcome::AlreadyStopped ? 0 : 1;
}

bool waitForServiceStop(SC_HANDLE service)
{
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) {
        logFailure(L"QueryServiceStatus");
        return false;
    }
    DWORD noteTick = GetTickCount();
    DWORD noteCheckpoint = status.dwCheckPoint;
    while (status.dwCurrentState == SERVICE_STOP_PENDING) {
        Sleep(kStopPollMs);
        if (!QueryServiceStatus(service, &status)) {
            logFailure(L"QueryServiceStatus");
            return false;
        }
        if (status.dwCheckPoint > noteCheckpoint) {
            noteTick = GetTickCount();
            noteCheckpoint = status.dwCheckPoint;
        } else if (GetTickCount() - noteTick > status.dwWaitHint) {
            break;
        }
    }
    if (status.dwCurrentState != SERVICE_STOPPED)
        logError(L"service still in state %d after its wait hint", static_cast<int>(status.dwCurrentState));
    return status.dwCurrentState == SERVICE_STOPPED;
}

int startService(const std::vector<std::wstring>& arguments)
{
    unique_sc_handle manager = openManager(SC_MANAGER_CONNECT);
    if (!manager) {
        printConsole("Could not open SCManager.\n");
        return 1;
    }
    unique_sc_handle service = openService(manager, SERVICE_START);
    if (!service) {
        printConsole("Could not start service. Error code: %d\n", static_cast<int>(GetLastError()));
        return 1;
    }
    std::vector<LPCWSTR> startArguments;
    for (size_t i = 1; i < arguments.size(); ++i)
        startArguments.push_back(arguments[i].c_str());
    if (StartServiceW(service.get(), static_cast<DWORD>(startArguments.size()),
                      startArguments.empty() ? nullptr : startArguments.data())) {
        service.reset();
        manager.reset();
        printConsole("Starting service '%s'.\n", printableServiceName().c_str());
        return 0;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_ALREADY_RUNNING) {
        printConsole("Service is already running.\n");
        return 0;
    }
    logError(L"StartService failed (%d)", static_cast<int>(error));
    printConsole("Could not start service. Error code: %d\n", static_cast<int>(error));
    return 1;
}

int printServiceStatus()
{
    unique_sc_handle manager = openManager(SC_MANAGER_CONNECT);
    if (!manager) {
        printConsole("Could not open SCManager.\n");
        return 1;
    }
    unique_sc_handle service = openService(manager, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
    SERVICE_STATUS status{};
    if (!service || !QueryServiceStatus(service.get(), &status)) {
        if (service)
            logFailure(L"QueryServiceStatus");
        printConsole("Could not get status.\n");
        return 1;
    }
    int result = 3;
    if (status.dwCurrentState == SERVICE_RUNNING) {
        printConsole("Running.\n");
        result = 0;
    } else {
        printConsole("Not running.\n");
    }

    // Long dependency lists and paths do not fit the usual buffer: grow once to what the
    // manager says it needs.
    std::vector<BYTE> buffer(kStatusConfigBufferSize);
    DWORD needed = 0;
    BOOL queried = QueryServiceConfigA(service.get(), reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()),
                                       static_cast<DWORD>(buffer.size()), &needed);
    if (!queried && GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed > buffer.size()) {
        buffer.resize(needed);
        queried = QueryServiceConfigA(service.get(), reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()),
                                      static_cast<DWORD>(buffer.size()), &needed);
    }
    if (!queried) {
        logFailure(L"QueryServiceConfig");
        printConsole("Could not get config (%d, %d).\n", static_cast<int>(GetLastError()), static_cast<int>(needed));
        return 1;
    }
    if (reinterpret_cast<const QUERY_SERVICE_CONFIGA*>(buffer.data())->dwStartType == SERVICE_AUTO_START)
        printConsole("%s.\n", "Auto-start");
    return result;
}
