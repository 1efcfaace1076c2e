// The Java runtime search against stand-in runtimes: directory trees with the stand-in
// java.exe (its version line per runtime), javaw.exe and jvm.dll, registry entries written
// into the Wine prefix, and the diagnostic log read back for the order of the steps.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "launchcore/configuration.h"
#include "launchcore/text.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/java_version_query.h"
#include "launchcore/windows/jvm_search.h"
#include "launchcore/windows/state/launcher_state.h"
#include "launchcore/windows/log/temporary_directory.h"
#include "testing/standin_runtime.h"

namespace {

std::string lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string fullLower(const std::string& path)
{
    char buffer[4096];
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    return lower(length > 0 && length < sizeof buffer ? std::string(buffer, length) : path);
}

std::string environment(const char* name, bool* present = nullptr)
{
    std::vector<char> buffer(256);
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetEnvironmentVariableA(name, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (present)
            *present = length > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
        if (length < buffer.size())
            return std::string(buffer.data(), length);
        buffer.resize(length + 1);
    }
}

void setEnvironment(const char* name, const char* value)
{
    SetEnvironmentVariableA(name, value);
    _putenv((std::string(name) + "=" + (value ? value : "")).c_str());
}

// The log's lines (without their time prefix) written since the mark.
std::vector<std::string> logLinesSince(size_t mark)
{
    logLine(L"-- mark --");
    std::string text;
    if (const wchar_t* path = logPath())
        text = readTextFile(toUtf8(std::u16string(reinterpret_cast<const char16_t*>(path))));
    std::vector<std::string> lines;
    size_t start = std::min(mark, text.size());
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t close = line.find("] ");
        if (!line.empty() && line.front() == '[' && close != std::string::npos)
            line.erase(0, close + 2);
        if (line.rfind("ERROR: ", 0) == 0)
            line.erase(0, 7);
        if (line != "-- mark --")
            lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

size_t logMark()
{
    logLine(L"-- mark --");
    const wchar_t* path = logPath();
    return path ? readTextFile(toUtf8(std::u16string(reinterpret_cast<const char16_t*>(path)))).size() : 0;
}

// Index of the first line starting with prefix at or after from; npos when none.
size_t findLine(const std::vector<std::string>& lines, const std::string& prefix, size_t from = 0)
{
    for (size_t i = from; i < lines.size(); ++i)
        if (lines[i].rfind(prefix, 0) == 0)
            return i;
    return std::string::npos;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

class JvmSearch : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int counter = 0;
        root_ = fullLower(environment("TEMP")) + "\\jvms_" + std::to_string(GetCurrentProcessId()) + "_" +
                std::to_string(++counter);
        removeDirectoryTree(root_);
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
        runs_ = root_ + "\\runs.txt";
        savedPath_ = environment("PATH", &hadPath_);
        for (const char* name : {"VEXON_JAVA_HOME", "SEALDECK_JAVA_HOME", "SLDK_JAVA_BANNER", "SLDK_JAVA_VERSION_LINE",
                                 "SLDK_JAVA_EXIT", "SLDK_JAVA_SLEEP_MS", "SLDK_TEST_JAVA_HOME"})
            setEnvironment(name, nullptr);
        setEnvironment("SLDK_JAVA_RUNS", runs_.c_str());
        deleteJavaSoftKeys();
        deleteLocatedJvms();
        setLauncherProgram(LauncherProgram::Setup);
        setExtractionDirectory({});
        appId_ = "sldk-test-app-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter);
        configure({});
    }

    void TearDown() override
    {
        setEnvironment("PATH", hadPath_ ? savedPath_.c_str() : nullptr);
        setEnvironment("SLDK_JAVA_RUNS", nullptr);
        deleteJavaSoftKeys();
        deleteLocatedJvms();
        deletePreviousInstallations(HKEY_CURRENT_USER, appId_);
        deletePreviousInstallations(HKEY_LOCAL_MACHINE, appId_);
        for (const std::string& directory : extraDirectories_)
            removeDirectoryTree(directory);
        removeDirectoryTree(root_);
    }

    // The application directory is the test's root; entries given override the defaults.
    void configure(std::map<int32_t, std::string> entries)
    {
        entries.emplace(10003, root_);
        entries.emplace(160, appId_);
        installConfiguration(std::move(entries), {});
    }

    std::string runtime(const std::string& name, StandinRuntimeOptions options = {})
    {
        const std::string home = root_ + "\\" + name;
        EXPECT_TRUE(layOutStandinRuntime(home, options)) << home;
        return home;
    }

    std::string exeOf(const std::string& home, const StandinRuntimeOptions& options = {})
    {
        return fullLower(standinJavaExe(home, options));
    }

    size_t javaRuns() { return recordedJavaRuns(runs_).size(); }

    JvmSearchResult search()
    {
        JvmSearchResult result = findJvm();
        if (result.library.module)
            loaded_.push_back(result.library.module);
        return result;
    }

    std::string root_;
    std::string runs_;
    std::string appId_;
    std::string savedPath_;
    bool hadPath_ = false;
    std::vector<std::string> extraDirectories_;
    std::vector<HMODULE> loaded_;
};

TEST_F(JvmSearch, EmptySequenceStillTriesEveryFixedPlaceInOrder)
{
    CreateDirectoryA((root_ + "\\.sealdeck").c_str(), nullptr);
    ASSERT_TRUE(writeTextFile(root_ + "\\.sealdeck\\pref_jre.cfg", root_ + "\\preferred\r\nignored\r\n"));
    ASSERT_TRUE(writeTextFile(root_ + "\\.sealdeck\\inst_jre.cfg", root_ + "\\installer\n"));
    setExtractionDirectory(root_ + "\\extract");
    CreateDirectoryA(extractionDirectory().c_str(), nullptr);
    ASSERT_TRUE(writeTextFile(extractionDirectory() + "\\inst_jre.cfg", root_ + "\\extracted"));
    ASSERT_TRUE(writePreviousInstallations(HKEY_CURRENT_USER, appId_, {root_ + "\\previous"}));
    setEnvironment("VEXON_JAVA_HOME", (root_ + "\\vexon").c_str());
    setEnvironment("SEALDECK_JAVA_HOME", (root_ + "\\sealdeck").c_str());
    configure({{128, ""}, {126, "1.8"}});

    const size_t mark = logMark();
    const JvmSearchResult result = search();
    EXPECT_EQ(result.library.module, nullptr);
    EXPECT_EQ(result.locationKind, JvmLocationKind::None);

    const std::vector<std::string> lines = logLinesSince(mark);
    const std::string expectedOrder[] = {
        "Searching for a JVM",
        "MinVersion: 1.8, MaxVersion: ",
        "Has preferred location " + root_ + "\\preferred",
        "checkJavaExe (" + root_ + "\\preferred\\bin\\java.exe",
        "Has installer location " + root_ + "\\extracted",
        "Has installer location " + root_ + "\\installer",
        "checking app id " + appId_ + " (0, ",
        "found installations: " + root_ + "\\previous",
        "checking app id " + appId_ + " (256, ",
        "checking app id " + appId_ + " (0, ",
        "Search sequence finished",
        "checkJavaExe (" + root_ + "\\vexon\\bin\\java.exe",
        "checkJavaExe (" + root_ + "\\sealdeck\\bin\\java.exe",
    };
    size_t at = 0;
    for (const std::string& expected : expectedOrder) {
        const size_t found = findLine(lines, expected, at);
        ASSERT_NE(found, std::string::npos) << "missing in order: " << expected << "\n" << joined(lines);
        at = found + 1;
    }
    EXPECT_EQ(findLine(lines, "Testing location"), std::string::npos);
}

TEST_F(JvmSearch, EachSearchLetterFindsItsRuntime)
{
    const struct {
        char letter;
        JvmLocationKind kind;
    } cases[] = {{'A', JvmLocationKind::Directory},           {'B', JvmLocationKind::Directory},
                 {'R', JvmLocationKind::Directory},           {'E', JvmLocationKind::EnvironmentVariable},
                 {'S', JvmLocationKind::SearchPath},          {'Y', JvmLocationKind::Registry}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(1, c.letter));
        const std::string home = runtime(std::string("rt_") + c.letter);
        std::string sequence(1, c.letter);
        std::string text;
        switch (c.letter) {
        case 'E': {
            text = "SLDK_TEST_JAVA_HOME";
            std::string slashed = home;
            std::replace(slashed.begin(), slashed.end(), '\\', '/');
            setEnvironment(text.c_str(), slashed.c_str());
            sequence += text;
            break;
        }
        case 'S':
            setEnvironment("PATH", (home + "\\bin;" + savedPath_).c_str());
            break;
        case 'Y':
            ASSERT_TRUE(writeLocatedJvm(HKEY_CURRENT_USER, exeOf(home)));
            break;
        default:
            text = home;
            sequence += home;
        }
        configure({{128, "Q" + home + "\\nothing;" + sequence}, {126, "1.8"}, {127, "1.8"}});

        const size_t mark = logMark();
        const JvmSearchResult result = search();
        EXPECT_NE(result.library.module, nullptr);
        EXPECT_EQ(result.locationKind, c.kind);
        EXPECT_EQ(result.javaExe, exeOf(home));
        EXPECT_EQ(result.version, "1.8.0_181");
        if (c.kind != JvmLocationKind::Registry) {
            EXPECT_EQ(result.locationText, text);
        }
        const std::vector<std::string> lines = logLinesSince(mark);
        EXPECT_NE(findLine(lines, "Testing location " + root_ + "\\rt_" + c.letter + "\\nothing (type Q)"),
                  std::string::npos)
            << joined(lines);
        EXPECT_NE(findLine(lines, "Trying to load JVM-DLL from " + exeOf(home)), std::string::npos);
        setEnvironment("PATH", hadPath_ ? savedPath_.c_str() : nullptr);
        deleteLocatedJvms();
    }
}

TEST_F(JvmSearch, FallbackPassTakesRelativeEntriesAndAbsoluteBOnly)
{
    // Version 1.6 fails the main pass, so only the fallback pass can take the runtime.
    StandinRuntimeOptions old;
    old.versionLine = "java version \"1.6.0_45\"";
    const std::string relativeName = "jvms_rel_" + std::to_string(GetCurrentProcessId());
    const std::string relativeHome = standinDirectory() + "\\" + relativeName;
    extraDirectories_.push_back(relativeHome);
    ASSERT_TRUE(layOutStandinRuntime(relativeHome, old));
    const std::string absoluteHome = runtime("old", old);

    const struct {
        std::string entry;
        bool tested;
        bool taken;
        std::string javaExe;
    } cases[] = {
        {"B" + absoluteHome, true, true, exeOf(absoluteHome)},
        {"A" + absoluteHome, false, false, ""},
        {"R" + absoluteHome, false, false, ""},
        {"A" + relativeName, true, true, fullLower(relativeHome + "\\bin\\java.exe")},
        {"R.\\" + relativeName, true, true, fullLower(relativeHome + "\\bin\\java.exe")},
        {"B" + relativeName, true, true, fullLower(relativeHome + "\\bin\\java.exe")},
        {"Ajvms_nothing_here", true, false, ""},
        {"Y", false, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        configure({{128, c.entry}, {126, "1.8"}});
        const size_t mark = logMark();
        const JvmSearchResult result = search();
        const std::vector<std::string> lines = logLinesSince(mark);
        const bool tested = findLine(lines, "Testing relative location " + c.entry.substr(1)) != std::string::npos;
        EXPECT_EQ(tested, c.tested) << joined(lines);
        EXPECT_EQ(result.library.module != nullptr, c.taken);
        if (c.taken) {
            EXPECT_EQ(result.locationKind, JvmLocationKind::Directory);
            EXPECT_EQ(result.locationText, c.entry.substr(1));
            EXPECT_EQ(result.javaExe, c.javaExe);
            EXPECT_NE(findLine(lines, c.javaExe + " exists"), std::string::npos) << joined(lines);
        } else {
            EXPECT_EQ(result.locationKind, JvmLocationKind::None);
        }
    }
}

TEST_F(JvmSearch, JavaSoftEnumerationTriesByteOrderHighestFirst)
{
    const std::string key = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
    StandinRuntimeOptions u181, u20;
    u181.versionLine = "java version \"1.8.0_181\"";
    u20.versionLine = "java version \"1.8.0_20\"";
    const std::string home181 = runtime("u181", u181);
    const std::string home20 = runtime("u20", u20);
    ASSERT_TRUE(writeJavaSoftRuntime(key, "1.8.0_181", home181));
    ASSERT_TRUE(writeJavaSoftRuntime(key, "1.8.0_20", home20));
    ASSERT_TRUE(writeJavaSoftRuntime(key, "1.7.0_80", home181));  // outside the bounds: never opened
    configure({{128, "Y"}, {126, "1.8"}});

    const size_t mark = logMark();
    const JvmSearchResult result = search();
    EXPECT_NE(result.library.module, nullptr);
    EXPECT_EQ(result.locationKind, JvmLocationKind::Registry);
    EXPECT_EQ(result.javaExe, exeOf(home20));
    EXPECT_EQ(result.version, "1.8.0_20");
    const std::vector<std::string> lines = logLinesSince(mark);
    EXPECT_NE(findLine(lines, "found sun " + exeOf(home20) + " 1.8.0_20"), std::string::npos) << joined(lines);
    EXPECT_EQ(findLine(lines, "checkJavaExe (" + home181), std::string::npos) << joined(lines);

    // When the byte-wise first fails, the next one is tried.
    removeDirectoryTree(home20);
    const size_t second = logMark();
    const JvmSearchResult fallback = search();
    EXPECT_EQ(fallback.javaExe, exeOf(home181));
    const std::vector<std::string> again = logLinesSince(second);
    EXPECT_LT(findLine(again, "checkJavaExe (" + home20), findLine(again, "checkJavaExe (" + home181))
        << joined(again);
}

TEST_F(JvmSearch, RegistryTiesGoToTheJreTheLocatedAndTheMachine)
{
    const std::string jdk = runtime("jdk");
    const std::string jre = runtime("jre");
    ASSERT_TRUE(writeJavaSoftRuntime("SOFTWARE\\JavaSoft\\JDK", "1.8", jdk));
    ASSERT_TRUE(writeJavaSoftRuntime("SOFTWARE\\JavaSoft\\JRE", "1.8", jre));
    ASSERT_TRUE(setJavaSoftCurrentVersion("SOFTWARE\\JavaSoft\\JDK", "1.8"));
    ASSERT_TRUE(setJavaSoftCurrentVersion("SOFTWARE\\JavaSoft\\JRE", "1.8"));
    configure({{128, "Y"}, {126, "1.8.0_100"}});
    EXPECT_EQ(search().javaExe, exeOf(jre)) << "equal CurrentVersion: the JRE";

    // A located runtime with the same version beats the JavaSoft one.
    const std::string located = runtime("sldk_jres_user");
    ASSERT_TRUE(writeLocatedJvm(HKEY_CURRENT_USER, exeOf(located)));
    EXPECT_EQ(search().javaExe, exeOf(located)) << "equal versions: the located runtime";

    // Equal located runtimes under user and machine: the machine's.
    const std::string machine = runtime("sldk_jres_machine");
    ASSERT_TRUE(writeLocatedJvm(HKEY_LOCAL_MACHINE, exeOf(machine)));
    EXPECT_EQ(search().javaExe, exeOf(machine)) << "equal versions: the machine's";

    // A newer JavaSoft runtime wins over them.
    StandinRuntimeOptions newer;
    newer.versionLine = "java version \"1.8.0_191\"";
    const std::string newest = runtime("newer", newer);
    ASSERT_TRUE(writeJavaSoftRuntime("SOFTWARE\\JavaSoft\\JRE", "1.8.0_191", newest));
    ASSERT_TRUE(setJavaSoftCurrentVersion("SOFTWARE\\JavaSoft\\JRE", "1.8.0_191"));
    EXPECT_EQ(search().javaExe, exeOf(newest));

    // Restricted to the packager's runtimes: no JavaSoft search, only "sldk_jres" paths.
    configure({{128, "Y"}, {126, "1.8.0_100"}, {165, "1"}});
    EXPECT_EQ(search().javaExe, exeOf(machine));
}

TEST_F(JvmSearch, JdkOnlyNeedsToolsJar)
{
    StandinRuntimeOptions bare;
    bare.jdk = true;
    StandinRuntimeOptions full = bare;
    full.toolsJar = true;
    const std::string withoutTools = runtime("jdk_bare", bare);
    const std::string withTools = runtime("jdk_full", full);

    configure({{128, "A" + withoutTools}, {131, "1"}});
    EXPECT_EQ(search().locationKind, JvmLocationKind::None);
    configure({{128, "A" + withTools}, {131, "1"}});
    const JvmSearchResult result = search();
    EXPECT_NE(result.library.module, nullptr);
    EXPECT_EQ(result.javaExe, exeOf(withTools, full));
}

TEST_F(JvmSearch, GuiApplicationsNeedJavaw)
{
    StandinRuntimeOptions noJavaw;
    noJavaw.javaw = false;
    const std::string without = runtime("nojavaw", noJavaw);
    const std::string with = runtime("javaw");

    configure({{128, "A" + without}, {107, "1"}});
    EXPECT_EQ(search().library.module, nullptr);
    configure({{128, "A" + with}, {107, "1"}});
    const JvmSearchResult result = search();
    EXPECT_NE(result.library.module, nullptr);
    EXPECT_EQ(result.javaExe, fullLower(with + "\\bin\\javaw.exe"));

    // A path that already names javaw.exe stays as it is.
    std::string javaw = with + "\\bin\\javaw.exe";
    std::string version;
    EXPECT_TRUE(checkJavaExe(javaw, version, {}, {}, true, true));
    EXPECT_EQ(javaw, fullLower(with + "\\bin\\javaw.exe"));
}

TEST_F(JvmSearch, PreReleaseBuildsOnlyWhereAllowed)
{
    StandinRuntimeOptions ea;
    ea.versionLine = "openjdk version \"11-ea\" 2018-09-25";
    const std::string home = runtime("ea", ea);
    setEnvironment("SLDK_TEST_JAVA_HOME", home.c_str());
    ASSERT_TRUE(writeLocatedJvm(HKEY_CURRENT_USER, exeOf(home)));

    const struct {
        std::string sequence;
        const char* allowed;
        bool found;
    } cases[] = {
        {"ESLDK_TEST_JAVA_HOME", "0", false},
        {"ESLDK_TEST_JAVA_HOME", "1", true},
        {"A" + home, "0", true},
        {"Y", "0", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sequence + " beta " + c.allowed);
        configure({{128, c.sequence}, {130, c.allowed}, {126, "11"}});
        const size_t mark = logMark();
        EXPECT_EQ(search().library.module != nullptr, c.found);
        const std::vector<std::string> lines = logLinesSince(mark);
        EXPECT_EQ(findLine(lines, "beta vm not allowed") != std::string::npos, !c.found) << joined(lines);
    }
}

TEST_F(JvmSearch, PreviousInstallationsSkipMismatchesAndReportTheirRuntime)
{
    StandinRuntimeOptions old;
    old.versionLine = "java version \"1.7.0_80\"";
    const std::string first = root_ + "\\install1";
    const std::string second = root_ + "\\install2";
    CreateDirectoryA(first.c_str(), nullptr);
    CreateDirectoryA(second.c_str(), nullptr);
    ASSERT_TRUE(layOutStandinRuntime(first + "\\jre", old));
    ASSERT_TRUE(layOutStandinRuntime(second + "\\jre"));
    ASSERT_TRUE(writePreviousInstallations(HKEY_LOCAL_MACHINE, appId_, {first, "", second}));
    configure({{126, "1.8"}});

    const size_t mark = logMark();
    const JvmSearchResult result = search();
    EXPECT_NE(result.library.module, nullptr);
    EXPECT_EQ(result.locationKind, JvmLocationKind::Registry);
    EXPECT_EQ(result.javaExe, exeOf(second + "\\jre"));
    const std::vector<std::string> lines = logLinesSince(mark);
    EXPECT_NE(findLine(lines, "could not query value node 0"), std::string::npos) << joined(lines);
    EXPECT_NE(findLine(lines, "java version did not match in " + first + "\\jre"), std::string::npos);
    EXPECT_NE(findLine(lines, "found JRE from previous installation (machine) " + exeOf(second + "\\jre")),
              std::string::npos);
}

TEST_F(JvmSearch, BannerLinesBeforeTheVersionAreSkipped)
{
    StandinRuntimeOptions openjdk;
    openjdk.versionLine = "openjdk version \"11.0.2\" 2019-01-15";
    const std::string home = runtime("banner", openjdk);
    setEnvironment("SLDK_JAVA_BANNER", "Picked up _JAVA_OPTIONS: -Xmx1g");
    configure({{128, "A" + home}, {126, "1.8"}, {127, "11"}});
    const JvmSearchResult result = search();
    EXPECT_NE(result.library.module, nullptr);
    EXPECT_EQ(result.version, "11.0.2\" 2019-01-1");
}

TEST_F(JvmSearch, LibraryThatRefusesToLoadKeepsKindAndRestoresPath)
{
    StandinRuntimeOptions refusing;
    refusing.refuseLoad = true;
    const std::string home = runtime("refusing", refusing);
    // Longer than any fixed PATH buffer.
    std::string longPath = savedPath_;
    for (int i = 0; longPath.size() < 20000; ++i)
        longPath += ";c:\\sldk\\path\\entry" + std::to_string(i);
    setEnvironment("PATH", longPath.c_str());
    configure({{128, "A" + home}});

    const size_t mark = logMark();
    const JvmSearchResult result = search();
    EXPECT_EQ(result.library.module, nullptr);
    EXPECT_EQ(result.locationKind, JvmLocationKind::Directory);
    EXPECT_EQ(result.locationText, home);
    EXPECT_EQ(environment("PATH"), longPath);
    const std::string crtPath = getenv("PATH") ? getenv("PATH") : "";
    EXPECT_EQ(crtPath, longPath);
    const std::vector<std::string> lines = logLinesSince(mark);
    const std::string library = fullLower(standinJvmLibrary(home, refusing));
    EXPECT_NE(findLine(lines, "Trying " + library + " (exists 1)"), std::string::npos) << joined(lines);
    EXPECT_NE(findLine(lines, "Failed with error code "), std::string::npos);
    EXPECT_NE(findLine(lines, "Trying " + fullLower(home) + "\\bin\\..\\jre\\bin\\hotspot\\jvm.dll (exists 0)"),
              std::string::npos);

    const std::string loading = runtime("loading");
    configure({{128, "A" + loading}});
    const JvmSearchResult loaded = search();
    EXPECT_NE(loaded.library.module, nullptr);
    EXPECT_EQ(environment("PATH"), longPath + ";" + fullLower(loading) + "\\bin");
}

TEST_F(JvmSearch, SearchPathIgnoresJavaBesideTheLauncher)
{
    // The stand-in java.exe is built beside this test program, where the default search
    // order would look first.
    ASSERT_NE(GetFileAttributesA((standinDirectory() + "\\java.exe").c_str()), INVALID_FILE_ATTRIBUTES);
    setEnvironment("PATH", (root_ + ";" + environment("WINDIR") + "\\system32").c_str());
    configure({{128, "S"}});
    const size_t mark = logMark();
    const JvmSearchResult result = search();
    EXPECT_EQ(result.locationKind, JvmLocationKind::None);
    EXPECT_EQ(findLine(logLinesSince(mark), "checkJavaExe ("), std::string::npos);
}

} // namespace
