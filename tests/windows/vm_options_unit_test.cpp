// In-process tests of the VM option sources: ".vmoptions" files and their includes, the
// configured option texts, the class-path entry lists and the real variable expansion.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "launchcore/configuration.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/messages/error_display.h"
#include "launchcore/windows/process_paths.h"
#include "launchcore/windows/state/selected_runtime.h"
#include "launchcore/windows/log/temporary_directory.h"
#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/variable_expansion.h"
#include "launchcore/windows/vm_options.h"
#include "launchcore/windows/state/launcher_state.h"
#include "testing/test_files.h"

namespace {

using Options = std::vector<std::string>;

Options readFile(const std::string& path, ClasspathSlots* slotsOut = nullptr)
{
    Options options;
    ClasspathSlots slots;
    const std::wstring wide = widenAnsi(path);
    readVmOptionsFile(openVmOptionsFile(wide), options, slots);
    if (slotsOut)
        *slotsOut = slots;
    return options;
}

std::wstring logText()
{
    const wchar_t* path = logPath();
    if (!path)
        return {};
    std::string bytes;
    if (FILE* file = _wfopen(path, L"rb")) {
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            bytes.append(buffer, got);
        std::fclose(file);
    }
    const int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), length);
    return text;
}

bool logHas(const std::wstring& text) { return logText().find(text) != std::wstring::npos; }

std::string environment(const char* name)
{
    std::vector<char> buffer(40000);
    const DWORD length = GetEnvironmentVariableA(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    return length < buffer.size() ? std::string(buffer.data(), length) : std::string();
}

TEST(VmOptions, FileLinesCommentsAndClasspathSlots)
{
    TemporaryFolder scratch("vmopt");
    const std::string longOption = "-Dlong=" + std::string(40000 - 7, 'x');
    ASSERT_TRUE(writeTextFile(scratch / "app.vmoptions", "# a comment\r\n"
                                                     "\r\n"
                                                     "     \r\n"
                                                     "   # indented comment\n"
                                                     "  -Xmx64m  \r\n"
                                                     "-classpath\n"
                                                     "-classpath first.jar\n"
                                                     "-classpath second.jar;third.jar\n"
                                                     "-classpath/p pre.jar\n"
                                                     "-classpath/a post.jar\n" +
                                                         longOption +
                                                         "\r\n"
                                                         "-Dlast=1"));
    ClasspathSlots slots;
    const Options options = readFile(scratch / "app.vmoptions", &slots);
    ASSERT_EQ(options.size(), 4u);
    EXPECT_EQ(options[0], "-Xmx64m");
    EXPECT_EQ(options[1], "-classpath");
    EXPECT_EQ(options[2], longOption);
    EXPECT_EQ(options[3], "-Dlast=1");
    EXPECT_EQ(slots.replacement, "second.jar;third.jar");
    EXPECT_EQ(slots.prefix, "pre.jar");
    EXPECT_EQ(slots.suffix, "post.jar");

    Options nothing;
    readVmOptionsFile(VmOptionsFile{}, nothing, slots);
    EXPECT_TRUE(nothing.empty());
}

TEST(VmOptions, IncludesResolveAgainstTheIncludingFile)
{
    TemporaryFolder scratch("vmopt");
    ASSERT_TRUE(CreateDirectoryA((scratch / "sub").c_str(), nullptr));
    SetEnvironmentVariableA("VMOPT_TEST_DIR", scratch.path().c_str());
    ASSERT_TRUE(writeTextFile(scratch / "top.vmoptions", "-Da=1\n"
                                                     "-include-options sub\\inner.vmoptions\n"
                                                     "-include-options missing.vmoptions\n"
                                                     "-include-options ${VMOPT_TEST_DIR}\\by-variable.vmoptions\n"
                                                     "-Db=2\n"));
    ASSERT_TRUE(writeTextFile(scratch / "sub\\inner.vmoptions", "-Dinner=1\n-include-options deeper.vmoptions\n"));
    ASSERT_TRUE(writeTextFile(scratch / "sub\\deeper.vmoptions", "-Ddeep=1\n-classpath/a deep.jar\n"));
    ASSERT_TRUE(writeTextFile(scratch / "by-variable.vmoptions", "-Dvariable=1\n"));

    ClasspathSlots slots;
    EXPECT_EQ(readFile(scratch / "top.vmoptions", &slots),
              (Options{"-Da=1", "-Dinner=1", "-Ddeep=1", "-Dvariable=1", "-Db=2"}));
    EXPECT_EQ(slots.suffix, "deep.jar");
    SetEnvironmentVariableA("VMOPT_TEST_DIR", nullptr);

    const std::wstring missing = widenAnsi(scratch / "missing.vmoptions");
    EXPECT_TRUE(logHas(L"adding vmoptions from (0000000000000000) <" + missing + L"> (missing.vmoptions)"))
        << "a file that cannot be opened shows a null handle";
    // File lines are expanded as they are read, so the include names its file expanded already.
    const std::wstring byVariable = widenAnsi(scratch / "by-variable.vmoptions");
    EXPECT_TRUE(logHas(L"after exp from " + byVariable + L" " + byVariable));
    EXPECT_TRUE(logHas(L"adding vmoptions 2"));
    EXPECT_TRUE(logHas(L"adding vmoptions 3"));
}

TEST(VmOptions, IncludeCyclesAndDeepChainsAreCut)
{
    TemporaryFolder scratch("vmopt");
    ASSERT_TRUE(writeTextFile(scratch / "self.vmoptions", "-Dself=1\n-include-options self.vmoptions\n-Dafter=1\n"));
    EXPECT_EQ(readFile(scratch / "self.vmoptions"), (Options{"-Dself=1", "-Dafter=1"}));
    EXPECT_TRUE(logHas(L"ERROR: vmoptions include skipped " + widenAnsi(scratch / "self.vmoptions")));

    // The way back names the first file in another case and through "..".
    ASSERT_TRUE(CreateDirectoryA((scratch / "b").c_str(), nullptr));
    ASSERT_TRUE(writeTextFile(scratch / "a.vmoptions", "-DA=1\n-include-options b\\b.vmoptions\n-DA=2\n"));
    ASSERT_TRUE(writeTextFile(scratch / "b\\b.vmoptions", "-DB=1\n-include-options ..\\A.VMOPTIONS\n-DB=2\n"));
    EXPECT_EQ(readFile(scratch / "a.vmoptions"), (Options{"-DA=1", "-DB=1", "-DB=2", "-DA=2"}));

    // The same file twice in a row is no cycle.
    ASSERT_TRUE(writeTextFile(scratch / "twice.vmoptions",
                          "-include-options b\\b2.vmoptions\n-include-options b\\b2.vmoptions\n"));
    ASSERT_TRUE(writeTextFile(scratch / "b\\b2.vmoptions", "-Dtwice=1\n"));
    EXPECT_EQ(readFile(scratch / "twice.vmoptions"), (Options{"-Dtwice=1", "-Dtwice=1"}));

    for (int level = 1; level <= 20; ++level)
        ASSERT_TRUE(writeTextFile(scratch / ("chain" + std::to_string(level) + ".vmoptions"),
                              "-Dlevel=" + std::to_string(level) + "\n-include-options chain" +
                                  std::to_string(level + 1) + ".vmoptions\n"));
    Options expected;
    for (int level = 1; level <= 16; ++level)
        expected.push_back("-Dlevel=" + std::to_string(level));
    EXPECT_EQ(readFile(scratch / "chain1.vmoptions"), expected);
    EXPECT_TRUE(logHas(L"ERROR: vmoptions include skipped " + widenAnsi(scratch / "chain17.vmoptions")));
}

TEST(VmOptions, LauncherOwnFileTakesPartInTheCycleCheck)
{
    std::string exe = narrowAnsi(moduleLongPath());
    ASSERT_GT(exe.size(), 4u);
    const std::string own = exe.substr(0, exe.size() - 4) + ".vmoptions";
    const std::string name = own.substr(own.find_last_of('\\') + 1);
    ASSERT_TRUE(writeTextFile(own, "-Ddefault=1\n-include-options " + name + "\n"));

    VmOptionsFile file = openDefaultVmOptionsFile();
    ASSERT_NE(file.stream, nullptr);
    Options options;
    ClasspathSlots slots;
    readVmOptionsFile(std::move(file), options, slots);
    DeleteFileA(own.c_str());
    EXPECT_EQ(options, Options{"-Ddefault=1"});
    EXPECT_TRUE(logHas(L"vmoptions2: exe " + moduleLongPath() + L" file: " + widenAnsi(own) + L", file: "));

    EXPECT_EQ(openDefaultVmOptionsFile().stream, nullptr);
    EXPECT_TRUE(logHas(L"vmoptions: opts2: " + moduleLongPath() + L".vmoptions, file: 0000000000000000"));
}

struct ConfiguredCase {
    const char* name;
    const char* javaArguments; // entry 125
    std::vector<std::wstring> arguments;
    Options options;
    std::optional<std::string> suffix;
};

TEST(VmOptions, ConfiguredOptionsInOrder)
{
    TemporaryFolder scratch("vmopt");
    ASSERT_TRUE(writeTextFile(scratch / "inc.vmoptions", "-Dincluded=1\n"));
    SetEnvironmentVariableA("VMOPT_INC", (scratch / "inc.vmoptions").c_str());
    setLocaleCode("de_CH");
    recordSelectedRuntime("C:\\jre\\bin\\java.exe", "1.8.0_181");

    const Options head = {"-Dsun.java2d.noddraw=true", "-Dincluded=1", "-Dq=a b", "-Deight=1", "-Dsep=;"};
    const auto with = [&](std::initializer_list<std::string> tail) {
        Options all = head;
        all.insert(all.end(), tail);
        return all;
    };
    const ConfiguredCase cases[] = {
        {"-J on", "1", {L"-J-Xmx64m", L"app", L"-J-classpath/a post.jar"}, with({"-Xmx64m"}), "post.jar"},
        {"-J off", "0", {L"-J-Xmx64m", L"-J-classpath/a post.jar"}, head, std::nullopt},
        {"locale as default", "1", {L"-Dsun.locale.formatasdefault=true"},
         with({"-Dsun.locale.formatasdefault=true"}), std::nullopt},
        {"locale codes", "1", {L"-Dsun.locale.formatasdefault=false"},
         with({"-Dsun.locale.formatasdefault=false", "-Duser.language=de", "-Duser.country=CH"}), std::nullopt},
    };
    for (const ConfiguredCase& c : cases) {
        installConfiguration({{123, " -Dsun.java2d.noddraw=true -include-options ${VMOPT_INC} -Dq=\"a b\""},
                              {125, c.javaArguments},
                              {10200, "3"},
                              {10201, "1.7"},
                              {10202, "-Dseven=1"},
                              {10203, "1.8"},
                              {10204, "-Deight=1 -Dsep=${launcher:sys.pathlistSeparator}"},
                              {10205, "1.8.0_1"},
                              {10206, "-Dtoo-late=1"}},
                             {});
        Options options;
        ClasspathSlots slots;
        collectConfiguredVmOptions(c.arguments, options, slots);
        EXPECT_EQ(options, c.options) << c.name;
        EXPECT_EQ(slots.suffix, c.suffix) << c.name;
    }
    SetEnvironmentVariableA("VMOPT_INC", nullptr);
    EXPECT_TRUE(logHas(L"check 3 version specific vm option lines for 1.8.0_181"));
    EXPECT_TRUE(logHas(L"checking version 1.7 0"));
    EXPECT_TRUE(logHas(L"checking version 1.8 1"));
    EXPECT_FALSE(logHas(L"checking version 1.8.0_1 "));
    EXPECT_TRUE(logHas(L"adding specific -Deight=1 -Dsep=${launcher:sys.pathlistSeparator}"));
    EXPECT_TRUE(logHas(L"adding options"));

    // Before a runtime is chosen no version line applies.
    recordSelectedRuntime("", "");
    Options options;
    ClasspathSlots slots;
    collectConfiguredVmOptions({}, options, slots);
    EXPECT_EQ(options, (Options{"-Dsun.java2d.noddraw=true", "-Dq=a b"}));
}

TEST(VmOptions, JoinsModuleOptions)
{
    Options options = {"--add-opens", "java.base/java.lang=ALL-UNNAMED", "-Xmx1g", "--add-modules"};
    joinModuleOptions(options);
    EXPECT_EQ(options, (Options{"--add-opens=java.base/java.lang=ALL-UNNAMED", "-Xmx1g", "--add-modules"}));
}

std::string pathEntries(int32_t id, const std::string& list)
{
    installConfiguration({{id, list}}, {});
    std::string path;
    appendPathEntries(id, path);
    return path;
}

TEST(VmOptions, ClassAndModulePathEntries)
{
    TemporaryFolder scratch("vmopt");
    const std::string lib = scratch / "lib";
    ASSERT_TRUE(CreateDirectoryA(lib.c_str(), nullptr));
    for (const char* name : {"a.jar", "b.jarold", "c.zip", "d.jar_bak"})
        ASSERT_TRUE(writeTextFile(lib + "\\" + name, "x"));
    SetEnvironmentVariableA("VMOPT_QUOTED", "\"C:\\x y\\q.jar\"");
    SetEnvironmentVariableA("VMOPT_LIST", (lib + "\\a.jar;" + lib + "\\c.zip").c_str());
    SetEnvironmentVariableA("VMOPT_NOT_SET", nullptr);

    const struct {
        int32_t id;
        std::string list;
        std::string path;
    } cases[] = {
        // Only real ".jar" names, then ".zip"; an 8.3 match of "b.jarold" stays out.
        {121, "S1" + lib, lib + "\\a.jar;" + lib + "\\c.zip;"},
        {121, "S1" + lib + "\\", lib + "\\a.jar;" + lib + "\\c.zip;"},
        {132, "S1" + lib, lib + ";"},
        {132, "S1", launcherDirectoryAnsi() + ";"},
        {121, "S0" + scratch / "none", ""},
        // A one-character piece has no flag and is skipped.
        {121, "A;E0VMOPT_NOT_SET;;E1VMOPT_QUOTED", "C:\\x y\\q.jar;"},
        {121, "D1${VMOPT_LIST}", lib + "\\a.jar;" + lib + "\\c.zip;"},
        {121, "A0%SEALDECK_EXEDIR%x.jar", launcherDirectoryAnsi() + "x.jar;"},
        {121, "X0whatever;D0rel\\y.jar", launcherDirectoryAnsi() + "rel\\y.jar;"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pathEntries(c.id, c.list), c.path) << c.list;
    SetEnvironmentVariableA("VMOPT_QUOTED", nullptr);
    SetEnvironmentVariableA("VMOPT_LIST", nullptr);

    EXPECT_TRUE(logHas(L"ignoring path entry A\r\n") || logHas(L"ignoring path entry A\n"));
    EXPECT_TRUE(logHas(L"unknown path entry type X"));
    EXPECT_TRUE(logHas(L"entries 3"));

    std::string path;
    EXPECT_FALSE(appendArchivesOfDirectory(scratch / "none", "jar", path));
    EXPECT_TRUE(appendArchivesOfDirectory(scratch.path(), "jar", path));
    EXPECT_EQ(path, "");
}

// The failures end the process, so each runs in a death-test child.
TEST(VmOptions, RequiredEntriesThatAreMissingEndTheLauncher)
{
    const std::map<int32_t, std::u16string> messages = {{1006, u"File or directory {0} not found or empty"},
                                                        {1008, u"Environment variable {0} is not set"}};
    char temp[MAX_PATH + 1];
    const std::string base(temp, GetTempPathA(sizeof temp, temp));
    std::string present = launcherDirectoryAnsi();
    present.pop_back();

    const struct {
        std::string list;
        const char* message;
    } cases[] = {
        {"E1VMOPT_NEVER_SET", "Environment variable VMOPT_NEVER_SET is not set"},
        {"S1" + base + "vmopt_absent", "vmopt_absent not found or empty"},
        {"D1" + present + "%SEALDECK_PATHLIST_SEPARATOR%" + base + "vmopt_absent",
         "vmopt_absent not found or empty"},
        {"Z1strange", "strange not found or empty"},
    };
    for (const auto& c : cases) {
        EXPECT_EXIT(
            {
                disableGuiErrorMode();
                installConfiguration({{121, c.list}}, messages);
                std::string path;
                appendPathEntries(121, path);
                ExitProcess(0);
            },
            ::testing::ExitedWithCode(1), c.message)
            << c.list;
    }

    // Every piece present: found.
    installConfiguration({{121, "D1" + present + "%SEALDECK_PATHLIST_SEPARATOR%" + present}}, messages);
    std::string path;
    appendPathEntries(121, path);
    EXPECT_EQ(path, present + ";" + present + ";");
}

TEST(VmOptions, RealExpansion)
{
    SetEnvironmentVariableW(L"VmOptMixed", L"m");
    SetEnvironmentVariableA("VMOPT_BIG", std::string(30000, 'b').c_str());
    setExtractionDirectory("C:\\ex_dir");

    std::wstring wide = L"${VmOptMixed}${VMOPTMIXED}${vmoptmixed}|${launcher:sys.launcherDirectory}|%SEALDECK_EXEDIR%";
    expandLauncherVariablesWide(wide, false);
    EXPECT_EQ(wide, L"mm${vmoptmixed}|" + launcherDirectoryWide() + L"|" + launcherDirectoryWide());

    wide = L"${launcher:sys.launcherDirectory}|${launcher:sys.tempDir}";
    expandLauncherVariablesWide(wide, true);
    EXPECT_EQ(wide, launcherDirectoryWidened() + L"|" + widenAnsi(temporaryDirectoryAnsi()));

    wide = L"${SEALDECK_TEMPDIR}";
    expandLauncherVariablesWide(wide, true);
    EXPECT_EQ(wide, L"C:\\ex_dir");
    EXPECT_TRUE(logHas(L"expanding2 ${SEALDECK_TEMPDIR} to C:\\ex_dir in C:\\ex_dir."));

    std::string narrow = "${PATH}|${VMOPT_BIG}|%VEXON_EXEDIR%|${launcher:sys.tempDir}";
    expandLauncherVariables(narrow);
    EXPECT_EQ(narrow, environment("PATH") + "|" + std::string(30000, 'b') + "|" + launcherDirectoryAnsi() + "|" +
                          temporaryDirectoryAnsi());
    EXPECT_TRUE(logHas(L"expanding2 %VEXON_EXEDIR% to " + widenAnsi(launcherDirectoryAnsi()) + L" in "));

    SetEnvironmentVariableW(L"VmOptMixed", nullptr);
    SetEnvironmentVariableA("VMOPT_BIG", nullptr);
    setExtractionDirectory({});
}

} // namespace
