#include "launchcore/launch_composition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "launchcore/diagnostics.h"

namespace {

using Strings = std::vector<std::string>;
using U16Strings = std::vector<std::u16string>;

LauncherPropertyInputs typicalProperties()
{
    LauncherPropertyInputs inputs;
    inputs.modulePath = "C:\\apps\\demo\\setup.exe";
    inputs.extractionDirectory = "C:\\Temp\\sldkx1234.tmp";
    inputs.unextractedPosition = 4096;
    inputs.pathVariable = "C:\\jre\\bin;C:\\Windows";
    inputs.consoleCodePage = 850;
    return inputs;
}

TEST(LaunchCompositionProperties, EveryRowInOrderWithExactFormat)
{
    LauncherPropertyInputs all = typicalProperties();
    all.semaphoreName = "Global\\demo_instance";
    all.manualRuntimeChoice = true;
    all.sealdeckKind = true;
    all.runningAsService = true;
    EXPECT_EQ(launcherProperties(all), (Strings{
                                           "-Dvexon.semaphoreName=Global\\demo_instance",
                                           "-Dvexon.manualJre=true",
                                           "-Dvexon.isSealdeck=true",
                                           "-Dvexon.isService=true",
                                           "-Dvexon.moduleName=C:\\apps\\demo\\setup.exe",
                                           "-Dsun.java.command=C:\\apps\\demo\\setup.exe",
                                           "-Dvexon.tempDir=C:\\Temp\\sldkx1234.tmp",
                                           "-Dvexon.unextractedPosition=4096",
                                           "-Djava.library.path=C:\\jre\\bin;C:\\Windows",
                                           "-Dvexon.consoleCodepage=cp850",
                                       }));
}

TEST(LaunchCompositionProperties, OptionalRowsFollowTheirConditions)
{
    struct Case {
        const char* name;
        void (*change)(LauncherPropertyInputs&);
        size_t count;
        const char* absent; // a prefix no option may have
        const char* present; // an exact option that must be there
    };
    const Case cases[] = {
        {"minimal", [](LauncherPropertyInputs&) {}, 6, "-Dvexon.semaphoreName", "-Dvexon.consoleCodepage=cp850"},
        {"manpath set", [](LauncherPropertyInputs& in) { in.manpathSet = true; }, 5, "-Dvexon.consoleCodepage",
         "-Dvexon.tempDir=C:\\Temp\\sldkx1234.tmp"},
        {"no console", [](LauncherPropertyInputs& in) { in.consoleCodePage = 0; }, 6, "-Dvexon.isService",
         "-Dvexon.consoleCodepage=cp0"},
        {"no extraction directory", [](LauncherPropertyInputs& in) { in.extractionDirectory.clear(); }, 6,
         "-Dvexon.manualJre", "-Dvexon.tempDir="},
        {"language restart", [](LauncherPropertyInputs& in) { in.unextractedPosition = -1; }, 6,
         "-Dvexon.isSealdeck", "-Dvexon.unextractedPosition=-1"},
        {"beyond 2 GiB", [](LauncherPropertyInputs& in) { in.unextractedPosition = 3LL << 30; }, 6,
         "-Dvexon.isSealdeck", "-Dvexon.unextractedPosition=3221225472"},
        {"beyond 4 GiB", [](LauncherPropertyInputs& in) { in.unextractedPosition = (5LL << 30) + 7; }, 6,
         "-Dvexon.isSealdeck", "-Dvexon.unextractedPosition=5368709127"},
        {"semaphore", [](LauncherPropertyInputs& in) { in.semaphoreName = "Local\\x"; }, 7, "-Dvexon.manualJre",
         "-Dvexon.semaphoreName=Local\\x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LauncherPropertyInputs inputs = typicalProperties();
        c.change(inputs);
        const Strings properties = launcherProperties(inputs);
        EXPECT_EQ(properties.size(), c.count);
        for (const std::string& option : properties)
            EXPECT_NE(option.rfind(c.absent, 0), 0u) << option;
        EXPECT_NE(std::find(properties.begin(), properties.end(), c.present), properties.end());
    }
}

TEST(LaunchCompositionProperties, LongPathReachesTheVmWhole)
{
    LauncherPropertyInputs inputs = typicalProperties();
    std::string path;
    for (int i = 0; path.size() < 20000; ++i)
        path += "C:\\tools\\library_directory_" + std::to_string(i) + ";";
    inputs.pathVariable = path;
    const Strings properties = launcherProperties(inputs);
    EXPECT_EQ(properties.at(4), "-Djava.library.path=" + path);
}

LauncherArgumentInputs typicalArguments()
{
    LauncherArgumentInputs inputs;
    inputs.mainClass = u"com.example.Main";
    inputs.argumentVector = {u"setup.exe"};
    inputs.programFallback = u"C:\\apps\\demo\\setup.exe";
    return inputs;
}

TEST(LaunchCompositionArguments, GroupsInOrder)
{
    struct Case {
        const char* name;
        void (*change)(LauncherArgumentInputs&);
        U16Strings expected;
    };
    const Case cases[] = {
        {"defaults", [](LauncherArgumentInputs&) {},
         {u"false", u"com.example.Main", u"", u"", u"false", u"setup.exe"}},
        {"gui, module main class, streams, flag",
         [](LauncherArgumentInputs& in) {
             in.guiApplication = true;
             in.moduleMainClass = true;
             in.mainClass = u"mymod/com.x.Main";
             in.standardErrorFile = u"$stderr";
             in.standardOutputFile = u"C:\\apps\\demo\\out.log";
             in.flag106 = true;
         },
         {u"true", u"/mymod/com.x.Main", u"$stderr", u"C:\\apps\\demo\\out.log", u"true", u"setup.exe"}},
        {"entry 124 split before the user's arguments",
         [](LauncherArgumentInputs& in) {
             in.configuredArguments = u"-a \"two words\" 'single quoted'  last";
             in.argumentVector = {u"setup.exe", u"user1", u"user 2"};
         },
         {u"false", u"com.example.Main", u"", u"", u"false", u"setup.exe", u"-a", u"two words", u"single quoted",
          u"last", u"user1", u"user 2"}},
        {"-J passes while entry 125 is off",
         [](LauncherArgumentInputs& in) { in.argumentVector = {u"setup.exe", u"-J-Xmx1g", u"x"}; },
         {u"false", u"com.example.Main", u"", u"", u"false", u"setup.exe", u"-J-Xmx1g", u"x"}},
        {"-J filtered while entry 125 is on",
         [](LauncherArgumentInputs& in) {
             in.filterVmArguments = true;
             in.argumentVector = {u"setup.exe", u"-J-Xmx1g", u"x", u"-J", u"-j-lower", u"y-J"};
         },
         {u"false", u"com.example.Main", u"", u"", u"false", u"setup.exe", u"x", u"-j-lower", u"y-J"}},
        {"locale switch never reaches main",
         [](LauncherArgumentInputs& in) {
             in.argumentVector = {u"setup.exe", u"-Dsun.locale.formatasdefault=true", u"-Dsun.locale.formatasdefault",
                                  u"-Dsun.locale.formatasdefault=false"};
         },
         {u"false", u"com.example.Main", u"", u"", u"false", u"setup.exe", u"-Dsun.locale.formatasdefault"}},
        {"element 0 is the program even when it looks like a switch",
         [](LauncherArgumentInputs& in) {
             in.filterVmArguments = true;
             in.argumentVector = {u"-Jodd.exe", u"a"};
         },
         {u"false", u"com.example.Main", u"", u"", u"false", u"-Jodd.exe", u"a"}},
        {"empty vector keeps the shape with the module path",
         [](LauncherArgumentInputs& in) {
             in.argumentVector.clear();
             in.configuredArguments = u"cfg";
         },
         {u"false", u"com.example.Main", u"", u"", u"false", u"C:\\apps\\demo\\setup.exe", u"cfg"}},
        {"non-ASCII arguments stay UTF-16",
         [](LauncherArgumentInputs& in) { in.argumentVector = {u"setup.exe", u"Gr\u00fc\u00dfe \u20ac \U0001F600"}; },
         {u"false", u"com.example.Main", u"", u"", u"false", u"setup.exe", u"Gr\u00fc\u00dfe \u20ac \U0001F600"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LauncherArgumentInputs inputs = typicalArguments();
        c.change(inputs);
        EXPECT_EQ(launcherArguments(inputs), c.expected);
    }
}

TEST(LaunchCompositionModules, ModuleOptions)
{
    struct Case {
        const char* name;
        std::string modulePath;
        bool moduleMainClass;
        std::string entry;
        bool sealdeck;
        Strings expected;
    };
    const Case cases[] = {
        {"module main class", "C:\\app\\mods;", true, "mymod/com.x.Main", true,
         {"--module-path=C:\\app\\mods;", "--add-opens=mymod/com.x=com.sealdeck.runtime",
          "--add-modules=mymod,com.sealdeck.runtime"}},
        {"vexon kind", "m;", true, "mymod/com.x.Main", false,
         {"--module-path=m;", "--add-opens=mymod/com.x=com.vexon.runtime", "--add-modules=mymod,com.vexon.runtime"}},
        {"no slash: the whole entry is a module", "m;", true, "mymod", true,
         {"--module-path=m;", "--add-modules=mymod,com.sealdeck.runtime"}},
        {"no slash but dots", "m;", true, "com.x.Main", true,
         {"--module-path=m;", "--add-modules=com.x.Main,com.sealdeck.runtime"}},
        {"class in the unnamed package of a module", "m;", true, "mymod/Main", true,
         {"--module-path=m;", "--add-modules=mymod,com.sealdeck.runtime"}},
        {"dot only in the module name", "m;", true, "my.mod/Main", true,
         {"--module-path=m;", "--add-modules=my.mod,com.sealdeck.runtime"}},
        {"dotted module and package", "m;", true, "my.mod/com.x.y.Main", true,
         {"--module-path=m;", "--add-opens=my.mod/com.x.y=com.sealdeck.runtime",
          "--add-modules=my.mod,com.sealdeck.runtime"}},
        {"entry 133 off", "", false, "mymod/com.x.Main", true, {"--add-modules=com.sealdeck.runtime"}},
        {"entry 133 off with module path", "m;", false, "com.x.Main", false,
         {"--module-path=m;", "--add-modules=com.vexon.runtime"}},
        {"entry 133 on, empty module path", "", true, "mymod/com.x.Main", true,
         {"--add-opens=mymod/com.x=com.sealdeck.runtime", "--add-modules=mymod,com.sealdeck.runtime"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Strings options{"-Xmx1g"};
        appendModuleOptions(options, c.modulePath, c.moduleMainClass, c.entry, c.sealdeck);
        Strings expected{"-Xmx1g"};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(options, expected);
    }
}

TEST(LaunchCompositionModules, OverlongMainClassEntryIsCut)
{
    const std::string entry = "m/" + std::string(6000, 'a') + ".Main";
    Strings options;
    appendModuleOptions(options, "", true, entry, true);
    ASSERT_EQ(options.size(), 1u); // the dot lies beyond the cut: no --add-opens
    EXPECT_EQ(options[0], "--add-modules=m,com.sealdeck.runtime");
}

std::vector<std::string> g_lines;

void recordLine(bool isError, const std::string& line) { g_lines.push_back((isError ? "ERROR: " : "") + line); }

TEST(LaunchCompositionService, XrsOnceAndNoRedirection)
{
    struct Case {
        const char* name;
        Strings before;
        bool service;
        bool run;
        Strings after;
        bool logged;
    };
    const Case cases[] = {
        {"service", {"-Xmx1g"}, true, false, {"-Xmx1g", "-Xrs"}, true},
        {"service with -Xrs", {"-Xrs", "-Xmx1g"}, true, false, {"-Xrs", "-Xmx1g"}, false},
        {"similar option is not -Xrs", {"-Xrs2"}, true, false, {"-Xrs2", "-Xrs"}, true},
        {"run command", {}, false, true, {"-Dsealdeck.noRedir=true"}, false},
        {"console run of another command", {"-Xrs"}, false, false, {"-Xrs"}, false},
    };
    setDiagnosticSink(recordLine);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_lines.clear();
        Strings options = c.before;
        appendServiceOptions(options, c.service, c.run);
        EXPECT_EQ(options, c.after);
        EXPECT_EQ(g_lines, c.logged ? Strings{"service: adding -Xrs"} : Strings{});
    }
    setDiagnosticSink(nullptr);
}

// A stand-in file system: archives per directory and extension, configured entries per id.
struct FakeSources {
    std::map<std::string, std::string> archives; // "dir|ext" -> text appended
    std::map<int32_t, std::string> configured;
    std::vector<std::string> listed;

    ClassPathSources sources()
    {
        ClassPathSources s;
        s.archives = [this](const std::string& directory, const std::string& extension, std::string& target) {
            listed.push_back(directory + "|" + extension);
            auto found = archives.find(directory + "|" + extension);
            if (found != archives.end())
                target += found->second;
        };
        s.configured = [this](int32_t id, std::string& target) {
            auto found = configured.find(id);
            if (found != configured.end())
                target += found->second;
        };
        return s;
    }
};

TEST(LaunchCompositionClassPath, Composition)
{
    struct Case {
        const char* name;
        void (*change)(FakeSources&, ClassPathSources&);
        std::string modulePath;
        std::string classPath;
    };
    const Case cases[] = {
        {"configured entries only", [](FakeSources&, ClassPathSources&) {}, "",
         "-Djava.class.path=C:\\app\\lib\\a.jar;"},
        {"extraction archives and user archives",
         [](FakeSources& f, ClassPathSources& s) {
             s.extractionDirectory = "C:\\T\\x.tmp";
             f.archives["C:\\T\\x.tmp|jar"] = "C:\\T\\x.tmp\\r.jar;";
             f.archives["C:\\T\\x.tmp|zip"] = "C:\\T\\x.tmp\\r.zip;";
             f.archives["C:\\T\\x.tmp\\user|jar"] = "C:\\T\\x.tmp\\user\\u.jar;";
         },
         "", "-Djava.class.path=C:\\T\\x.tmp\\r.jar;C:\\T\\x.tmp\\r.zip;C:\\T\\x.tmp\\user\\u.jar;C:\\app\\lib\\a.jar;"},
        {"module path takes the extraction archives, not the user archives",
         [](FakeSources& f, ClassPathSources& s) {
             s.extractionDirectory = "C:\\T\\x.tmp";
             f.configured[132] = "C:\\app\\mods\\m.jar;";
             f.archives["C:\\T\\x.tmp|jar"] = "C:\\T\\x.tmp\\r.jar;";
             f.archives["C:\\T\\x.tmp\\user|zip"] = "C:\\T\\x.tmp\\user\\u.zip;";
         },
         "C:\\app\\mods\\m.jar;C:\\T\\x.tmp\\r.jar;", "-Djava.class.path=C:\\T\\x.tmp\\user\\u.zip;C:\\app\\lib\\a.jar;"},
        {"module main class with an empty module path",
         [](FakeSources& f, ClassPathSources& s) {
             s.moduleMainClass = true;
             s.extractionDirectory = "E";
             f.archives["E|jar"] = "E\\r.jar;";
         },
         "E\\r.jar;", "-Djava.class.path=C:\\app\\lib\\a.jar;"},
        {"prefix, replacement and suffix",
         [](FakeSources&, ClassPathSources& s) {
             s.prefix = "P.jar";
             s.replacement = "R.jar";
             s.suffix = "S.jar";
         },
         "", "-Djava.class.path=P.jar;R.jar;S.jar"},
        {"suffix after a trailing separator",
         [](FakeSources&, ClassPathSources& s) { s.suffix = "S.jar"; }, "",
         "-Djava.class.path=C:\\app\\lib\\a.jar;S.jar"},
        {"service runtime jar goes to the target",
         [](FakeSources&, ClassPathSources& s) { s.runtimeJar = "C:\\svc\\.sealdeck\\sldkruntime.jar"; }, "",
         "-Djava.class.path=C:\\svc\\.sealdeck\\sldkruntime.jar;C:\\app\\lib\\a.jar;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSources fake;
        fake.configured[121] = "C:\\app\\lib\\a.jar;";
        ClassPathSources sources = fake.sources();
        c.change(fake, sources);
        const ClassPathResult result = composeClassPath(sources);
        EXPECT_EQ(result.modulePath, c.modulePath);
        EXPECT_EQ(result.classPathOption, c.classPath);
    }
}

TEST(LaunchCompositionClassPath, NoExtractionDirectoryListsNoDriveRootFolder)
{
    FakeSources fake;
    fake.archives["\\user|jar"] = "\\user\\planted.jar;";
    fake.configured[121] = "C:\\app\\a.jar;";
    ClassPathSources sources = fake.sources();
    sources.extractionDirectory.clear();
    const ClassPathResult result = composeClassPath(sources);
    EXPECT_TRUE(fake.listed.empty());
    EXPECT_EQ(result.classPathOption, "-Djava.class.path=C:\\app\\a.jar;");
}

TEST(LaunchCompositionClassPath, LogsTheConfiguredSteps)
{
    setDiagnosticSink(recordLine);
    g_lines.clear();
    FakeSources fake;
    ClassPathSources sources = fake.sources();
    composeClassPath(sources);
    EXPECT_EQ(g_lines, (Strings{"adding preconfigured modulepath", "adding preconfigured classpath"}));
    g_lines.clear();
    sources.replacement = "R.jar";
    composeClassPath(sources);
    EXPECT_EQ(g_lines, (Strings{"adding preconfigured modulepath"}));
    setDiagnosticSink(nullptr);
}

} // namespace
