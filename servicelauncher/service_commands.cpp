#include "servicelauncher/service_commands.h"

#include <array>
#include <utility>

#include "launchcore/text.h"

namespace {

const std::array<std::pair<std::u16string_view, ServiceCommand>, 13> kCommands{{
    {u"?", ServiceCommand::Help},
    {u"help", ServiceCommand::Help},
    {u"install", ServiceCommand::Install},
    {u"install-and-start", ServiceCommand::InstallAndStart},
    {u"install-auto", ServiceCommand::InstallAuto},
    {u"install-demand", ServiceCommand::InstallDemand},
    {u"uninstall", ServiceCommand::Uninstall},
    {u"stop", ServiceCommand::Stop},
    {u"start", ServiceCommand::Start},
    {u"restart", ServiceCommand::Restart},
    {u"status", ServiceCommand::Status},
    {u"run", ServiceCommand::Run},
    {u"run-redirect", ServiceCommand::RunRedirect},
}};

} // namespace

std::optional<std::u16string> commandWord(std::u16string_view argument)
{
    if (argument.empty() || (argument[0] != u'/' && argument[0] != u'-'))
        return std::nullopt;
    argument.remove_prefix(1);
    if (!argument.empty() && argument[0] == u'-')
        argument.remove_prefix(1);
    return std::u16string(argument);
}

std::optional<ServiceCommand> findServiceCommand(std::u16string_view word)
{
    for (const auto& [name, command] : kCommands)
        if (name == word)
            return command;
    return std::nullopt;
}

ServiceInvocation classifyServiceArguments(std::vector<std::u16string>& arguments)
{
    ServiceInvocation invocation;
    if (!arguments.empty() && arguments.back() == kWorkerMarker) {
        arguments.pop_back();
        invocation.path = LaunchPath::Worker;
        return invocation;
    }
    if (arguments.empty())
        return invocation;
    std::optional<std::u16string> word = commandWord(arguments.front());
    if (!word)
        return invocation;
    arguments.erase(arguments.begin());
    invocation.word = std::move(*word);
    if (!arguments.empty())
        invocation.serviceName = arguments.front();
    if (std::optional<ServiceCommand> command = findServiceCommand(invocation.word)) {
        invocation.path = LaunchPath::Command;
        invocation.command = *command;
    }
    return invocation;
}

bool installsWithAutoStart(int applicationKind) { return applicationKind == 4; }

std::vector<std::u16string> serviceStartArguments(const std::vector<std::u16string>& arguments)
{
    if (arguments.size() < 2)
        return {};
    return {arguments.begin() + 1, arguments.end()};
}

std::u16string serviceDependencyList(std::u16string_view entry)
{
    std::u16string list;
    for (const std::u16string& name : splitSkippingEmpty(entry, u','))
        list.append(name).push_back(u'\0');
    if (!list.empty())
        list.push_back(u'\0');
    return list;
}

std::u16string serviceUsageLine(std::u16string_view executablePath)
{
    std::u16string_view name = executablePath;
    const size_t separator = name.find_last_of(u"\\/");
    if (separator != std::u16string_view::npos)
        name.remove_prefix(separator + 1);
    const size_t dot = name.rfind(u'.');
    if (dot != std::u16string_view::npos)
        name = name.substr(0, dot);
    return u"Usage: " + std::u16string(name) +
           u".exe /install | /uninstall | /stop | /start | /status | /run | /run-redirect\n";
}
