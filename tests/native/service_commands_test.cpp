#include "servicelauncher/service_commands.h"

#include <gtest/gtest.h>

#include "launchcore/text.h"

namespace {

using Args = std::vector<std::u16string>;

std::string show(const Args& args)
{
    std::string out = "[";
    for (size_t i = 0; i < args.size(); ++i)
        out += (i ? "|" : "") + toUtf8(args[i]);
    return out + "]";
}

// NULs shown as "|" so that a list reads "a|b||".
std::string showList(const std::u16string& list)
{
    std::string out = toUtf8(list);
    for (char& c : out)
        if (c == '\0')
            c = '|';
    return out;
}

TEST(ServiceCommands, CommandWordOfAnArgument)
{
    struct Case {
        std::u16string argument;
        std::optional<std::u16string> word;
    };
    const Case cases[] = {
        {u"/install", u"install"},
        {u"-install", u"install"},
        {u"--install", u"install"},
        {u"/-install", u"install"},
        // Only one hyphen after the first character is dropped.
        {u"---install", u"-install"},
        {u"/--install", u"-install"},
        // A second slash is no prefix.
        {u"//install", u"/install"},
        {u"-/install", u"/install"},
        {u"/?", u"?"},
        {u"-?", u"?"},
        {u"/", u""},
        {u"-", u""},
        {u"--", u""},
        {u"install", std::nullopt},
        {u"\\install", std::nullopt},
        {u" /install", std::nullopt},
        {u"", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(c.argument));
        EXPECT_EQ(commandWord(c.argument), c.word);
    }
}

TEST(ServiceCommands, TableIsCaseSensitiveAndMatchesInFull)
{
    struct Case {
        std::u16string word;
        std::optional<ServiceCommand> command;
    };
    const Case cases[] = {
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
        {u"INSTALL", std::nullopt},
        {u"Install", std::nullopt},
        {u"HELP", std::nullopt},
        {u"inst", std::nullopt},
        {u"installx", std::nullopt},
        {u"install ", std::nullopt},
        {u"run-redirect-", std::nullopt},
        {u"-install", std::nullopt},
        {u"??", std::nullopt},
        {u"", std::nullopt},
        {u"__sldk_restart", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(c.word));
        EXPECT_EQ(findServiceCommand(c.word), c.command);
    }
}

TEST(ServiceCommands, ClassifiesTheArguments)
{
    struct Case {
        Args arguments;
        LaunchPath path;
        ServiceCommand command; // only for LaunchPath::Command
        std::optional<std::u16string> serviceName;
        Args remaining;
    };
    const Case cases[] = {
        // As the service manager starts the program: no arguments, or plain words.
        {{}, LaunchPath::Dispatcher, {}, std::nullopt, {}},
        {{u"MyService"}, LaunchPath::Dispatcher, {}, std::nullopt, {u"MyService"}},
        {{u"install"}, LaunchPath::Dispatcher, {}, std::nullopt, {u"install"}},
        // The worker marker counts only as the last argument and wins over a command.
        {{u"__sldk_restart"}, LaunchPath::Worker, {}, std::nullopt, {}},
        {{u"My Service", u"a", u"__sldk_restart"}, LaunchPath::Worker, {}, std::nullopt, {u"My Service", u"a"}},
        {{u"/install", u"__sldk_restart"}, LaunchPath::Worker, {}, std::nullopt, {u"/install"}},
        {{u"__sldk_restart", u"x"}, LaunchPath::Dispatcher, {}, std::nullopt, {u"__sldk_restart", u"x"}},
        {{u"__SLDK_RESTART"}, LaunchPath::Dispatcher, {}, std::nullopt, {u"__SLDK_RESTART"}},
        // The command word goes, the service name argument and everything after it stay.
        {{u"/install"}, LaunchPath::Command, ServiceCommand::Install, std::nullopt, {}},
        {{u"--install", u"Other"}, LaunchPath::Command, ServiceCommand::Install, u"Other", {u"Other"}},
        {{u"/-start", u"Svc", u"a", u"b"}, LaunchPath::Command, ServiceCommand::Start, u"Svc", {u"Svc", u"a", u"b"}},
        {{u"-?"}, LaunchPath::Command, ServiceCommand::Help, std::nullopt, {}},
        {{u"/run", u"x"}, LaunchPath::Command, ServiceCommand::Run, u"x", {u"x"}},
        // Unknown or differently cased words lead to the dispatcher.
        {{u"/INSTALL"}, LaunchPath::Dispatcher, {}, std::nullopt, {}},
        {{u"/bogus", u"n"}, LaunchPath::Dispatcher, {}, u"n", {u"n"}},
        {{u"/"}, LaunchPath::Dispatcher, {}, std::nullopt, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(show(c.arguments));
        Args arguments = c.arguments;
        const ServiceInvocation invocation = classifyServiceArguments(arguments);
        EXPECT_EQ(invocation.path, c.path);
        if (c.path == LaunchPath::Command)
            EXPECT_EQ(invocation.command, c.command);
        EXPECT_EQ(invocation.serviceName, c.serviceName);
        EXPECT_EQ(show(arguments), show(c.remaining));
    }
}

TEST(ServiceCommands, StartTypeAndStartArguments)
{
    for (int kind : {0, 1, 2, 3, 5, 6, -4, 40})
        EXPECT_FALSE(installsWithAutoStart(kind)) << kind;
    EXPECT_TRUE(installsWithAutoStart(4));

    struct Case {
        Args arguments;
        Args startArguments;
    };
    const Case cases[] = {
        {{}, {}},
        {{u"Svc"}, {}},
        {{u"Svc", u"a"}, {u"a"}},
        {{u"Svc", u"a b", u""}, {u"a b", u""}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(show(serviceStartArguments(c.arguments)), show(c.startArguments)) << show(c.arguments);
}

TEST(ServiceCommands, DependencyList)
{
    using namespace std::string_literals;
    struct Case {
        std::u16string entry;
        std::u16string list;
    };
    const Case cases[] = {
        {u"", u""},
        {u",", u""},
        {u",,,", u""},
        {u"Tcpip", u"Tcpip\0\0"s},
        {u"Tcpip,Dnscache", u"Tcpip\0Dnscache\0\0"s},
        // An empty item would end the list early and lose the names after it.
        {u"a,,b", u"a\0b\0\0"s},
        {u",a,b,", u"a\0b\0\0"s},
        {u"a,,,b,,c", u"a\0b\0c\0\0"s},
        // Blanks belong to the names.
        {u"a b, c", u"a b\0 c\0\0"s},
        {u" ", u" \0\0"s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(c.entry));
        const std::u16string list = serviceDependencyList(c.entry);
        EXPECT_EQ(showList(list), showList(c.list));
        // A list is ended by two NULs in a row and holds none before its end.
        if (!list.empty()) {
            ASSERT_GE(list.size(), 2u);
            EXPECT_EQ(list.find(std::u16string(2, u'\0')), list.size() - 2);
        }
    }
}

TEST(ServiceCommands, UsageLineNamesTheExecutable)
{
    const std::string tail = ".exe /install | /uninstall | /stop | /start | /status | /run | /run-redirect\n";
    struct Case {
        std::u16string path;
        std::string name;
    };
    const Case cases[] = {
        {u"C:\\Program Files\\App\\myservice.exe", "myservice"},
        {u"C:\\apps\\My.Service.EXE", "My.Service"},
        {u"C:\\apps.d\\service", "service"},
        {u"C:/mixed\\dirs/svc.exe", "svc"},
        {u"svc.exe", "svc"},
        {u"\\\\server\\share\\d\u00e9j\u00e0.exe", "d\u00e9j\u00e0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(toUtf8(serviceUsageLine(c.path)), "Usage: " + c.name + tail) << toUtf8(c.path);
}

} // namespace
