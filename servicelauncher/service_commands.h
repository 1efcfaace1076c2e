// The service launcher's command line, without Windows: which path a command line takes
// (worker, service command or service dispatcher), the command table, and the texts built
// from configuration and paths.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class ServiceCommand {
    Help,
    Install,
    InstallAndStart,
    InstallAuto,
    InstallDemand,
    Uninstall,
    Stop,
    Start,
    Restart,
    Status,
    Run,
    RunRedirect,
};

// The argument the service procedure appends to the worker's command line.
inline constexpr std::u16string_view kWorkerMarker = u"__sldk_restart";

// "/x", "-x", "--x" and "/-x" all give "x"; an argument that begins with neither "/" nor
// "-" is no command.
std::optional<std::u16string> commandWord(std::u16string_view argument);

// The command of a word: case-sensitive and in full ("INSTALL" and "inst" are none).
std::optional<ServiceCommand> findServiceCommand(std::u16string_view word);

enum class LaunchPath { Worker, Command, Dispatcher };

struct ServiceInvocation {
    LaunchPath path = LaunchPath::Dispatcher;
    ServiceCommand command = ServiceCommand::Help; // for LaunchPath::Command
    std::u16string word;                           // the command word as given, when there was one
    std::optional<std::u16string> serviceName;     // the argument after the command word
};

// Classifies the arguments (the split command line without the program) and edits them as
// the chosen path expects: the worker marker (the last argument) and the command word are
// removed; the service name argument stays. An unknown command word leads to the dispatcher.
ServiceInvocation classifyServiceArguments(std::vector<std::u16string>& arguments);

// SERVICE_AUTO_START for "install" when the application kind (entry 107) is 4.
bool installsWithAutoStart(int applicationKind);

// The start arguments of "start": the arguments after the first (which is the service
// name when one was given).
std::vector<std::u16string> serviceStartArguments(const std::vector<std::u16string>& arguments);

// The dependency list for the service manager: the names of the comma-separated entry,
// each NUL-terminated, and one more NUL at the end. Empty items are skipped, so that a
// doubled comma does not end the list early; no names give an empty result (no list).
std::u16string serviceDependencyList(std::u16string_view entry);

// "Usage: <name>.exe /install | ..." with the file name of the executable path, without
// its directory and extension.
std::u16string serviceUsageLine(std::u16string_view executablePath);
