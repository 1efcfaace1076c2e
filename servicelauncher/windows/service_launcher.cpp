#include "servicelauncher/windows/service_launcher.h"

#include <string>
#include <vector>

#include "launchcore/command_line.h"
#include "launchcore/configuration.h"
#include "launchcore/configuration_entries.h"
#include "launchcore/windows/JavaVMLauncher.h"
#include "launchcore/windows/messages/message_texts.h"
#include "launchcore/windows/exit/fatal_exit.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/dll_search.h"
#include "launchcore/windows/payload.h"
#include "launchcore/windows/process_paths.h"
#include "launchcore/windows/single_instance.h"
#include "launchcore/windows/startup.h"
#include "launchcore/windows/state/launcher_state.h"
#include "launchcore/windows/base/console_output.h"
#include "launchcore/windows/base/text_conversion.h"
#include "servicelauncher/service_commands.h"
#include "servicelauncher/windows/scm_operations.h"
#include "servicelauncher/windows/service_name.h"
#include "servicelauncher/windows/service_runtime.h"

namespace {

DWORD installStartType()
{
    return installsWithAutoStart(configInt(config_entry::kApplicationKind)) ? SERVICE_AUTO_START : SERVICE_DEMAND_START;
}

int runServiceDispatcher()
{
    // The dispatcher only reads the name; the table type wants it writable.
    std::wstring name = serviceName();
    SERVICE_TABLE_ENTRYW table[] = {{name.data(), serviceMainProc}, {nullptr, nullptr}};
    logLine(L"calling StartServiceCtrlDispatcher");
    if (!StartServiceCtrlDispatcherW(table))
        logLine(L"StartServiceCtrlDispatcher failed with error %d", static_cast<int>(GetLastError()));
    logLine(L"StartServiceCtrlDispatcher returned");
    return 0;
}

void printUsage()
{
    const std::u16string usage = serviceUsageLine(toU16(moduleLongPath()));
    printConsole("%s", narrowAnsi(toWide(usage)).c_str());
}

// The run commands keep the program as element 0, which the VM start skips.
void runInConsole(const std::wstring& program)
{
    setServiceMode(false);
    std::vector<std::wstring> arguments = argumentVector();
    arguments.insert(arguments.begin(), program);
    setArgumentVector(std::move(arguments));
    runInProcess(false);
}

int runCommand(ServiceCommand command, const std::wstring& program)
{
    const std::vector<std::wstring>& arguments = argumentVector();
    switch (command) {
    case ServiceCommand::Help:
        printUsage();
        return 0;
    case ServiceCommand::Install:
        return installService(installStartType());
    case ServiceCommand::InstallAndStart:
        installService(installStartType());
        return startService(arguments);
    case ServiceCommand::InstallAuto:
        return installService(SERVICE_AUTO_START);
    case ServiceCommand::InstallDemand:
        return installService(SERVICE_DEMAND_START);
    case ServiceCommand::Uninstall:
        return uninstallService(true);
    case ServiceCommand::Stop:
        return stopService(true);
    case ServiceCommand::Start:
        return startService(arguments);
    case ServiceCommand::Restart:
        // A service that accepted the stop but is still stopping would only answer "already
        // running": nothing would be restarted, so that counts as a failure.
        if (stopServiceOutcome(false) == StopOutcome::StillRunning)
            return 1;
        return startService(arguments);
    case ServiceCommand::Status:
        return printServiceStatus();
    case ServiceCommand::Run:
        logLine(L"running service");
        setNoRedirection(true);
        runInConsole(program);
        return 0;
    case ServiceCommand::RunRedirect:
        logLine(L"running service with redirection");
        runInConsole(program);
        return 0;
    }
    return runServiceDispatcher();
}

} // namespace

void runInProcess(bool registerConsoleHandler)
{
    if (extractPayload(true) != 0)
        fatalMessage(1009, "16");
    addNativeLibraryDirectories();
    if (registerConsoleHandler) {
        // The worker runs detached from any console; a logoff event must not end it.
        logLine(L"registering ConsoleCtrlHandler");
        SetConsoleCtrlHandler(ignoreConsoleEvent, TRUE);
    }
    enforceSingleInstance();
    if (!LoadDLL(true, nullptr, false))
        exitWithCleanup(1); // LoadDLL has shown why
    // A VM that cannot be created, or a main that ends with an exception, would otherwise end
    // the run with exit code 1 and nothing but the log to tell why.
    if (!launchProgram(argumentVector(), true))
        fatalMessage(1005);
}

int serviceLauncherMain(HMODULE module)
{
    // The service launcher has no start-up switches: the keep-log and "-temp" switches are
    // left to the Java application.
    setServiceMode(true);
    commonStartup(module, {}, false);
    setServiceName(configStringWide(config_entry::kApplicationName));
    const wchar_t* commandLine = GetCommandLineW();
    logLine(L"command line %s", commandLine);

    std::vector<std::u16string> split;
    splitCommandLine(toU16(commandLine), split);
    std::wstring program;
    if (!split.empty()) {
        program = toWide(split.front());
        split.erase(split.begin());
    }
    const ServiceInvocation invocation = classifyServiceArguments(split);
    std::vector<std::wstring> arguments;
    arguments.reserve(split.size());
    for (const std::u16string& argument : split)
        arguments.push_back(toWide(argument));
    setArgumentVector(std::move(arguments));

    if (invocation.path == LaunchPath::Worker) {
        runInProcess(true);
        return 0;
    }
    if (invocation.serviceName)
        setServiceName(toWide(*invocation.serviceName));
    if (invocation.path == LaunchPath::Dispatcher)
        return runServiceDispatcher();
    return runCommand(invocation.command, program);
}
