// The installer end to end in its quiet modes, against the stand-in runtime laid out beside
// it: the check, the extraction, the runtime choice and the Java side, and the restart modes
// with which the installer's Java side starts it again.
#include "fuzz/tar_test_archive.h"
#include "testing/launcher_run.h"
#include "testing/standin_runtime.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Environment = std::vector<std::pair<std::wstring, std::wstring>>;

struct Installer {
    std::wstring launcher;
    std::wstring trace;
    std::wstring temp;
    uint64_t unextractedPosition = 0; // behind the included file
};

const std::string kPayload = "the application's jar";

// An installer with one included file (and the runtime archive when asked), the data for
// the Java side behind them, and (unless left out) the stand-in runtime in "jre" beside it,
// where its search looks.
Installer makeInstaller(const ScratchDirectory& scratch, bool installedRuntime = true, bool includedRuntime = false,
                        const std::vector<std::pair<int32_t, std::string>>& config = {});

// The stand-in runtime as an installer carries it: "jre.tar.gz" with bin, the two java
// programs and the VM library.
std::vector<uint8_t> standinRuntimeArchive()
{
    TestTar tar;
    tar.directory("bin/").directory("bin/server/");
    for (const char* file : {"bin/java.exe", "bin/javaw.exe", "bin/server/jvm.dll"}) {
        const std::string name = std::string(file).substr(std::string(file).find_last_of('/') + 1);
        const auto bytes = readFileBytes(fromUtf8(standinDirectory() + "\\" + name));
        EXPECT_TRUE(bytes) << name;
        tar.file(file, bytes ? std::string(bytes->begin(), bytes->end()) : std::string());
    }
    const std::string archive = tar.end().gzipped();
    return std::vector<uint8_t>(archive.begin(), archive.end());
}

Installer makeInstaller(const ScratchDirectory& scratch, bool installedRuntime, bool includedRuntime,
                        const std::vector<std::pair<int32_t, std::string>>& config)
{
    Installer installer;
    installer.trace = scratch.file(L"trace.txt");
    installer.temp = scratch.subdirectory(L"tmp");
    sldkpack::LauncherModel model = basicModel("1");
    model.integrityCheck = true;
    sldkpack::setConfig(model, 122, "com.example.Setup");
    sldkpack::setConfig(model, 128, "Ajre");
    for (const auto& [id, value] : config)
        sldkpack::setConfig(model, id, value);
    if (includedRuntime)
        model.files.push_back(sldkpack::IncludedFile{"jre.tar.gz", standinRuntimeArchive()});
    model.files.push_back(sldkpack::IncludedFile{"app.jar", std::vector<uint8_t>(kPayload.begin(), kPayload.end())});
    model.trailer.assign(3000, 0x42);
    installer.launcher = buildLauncherFile(kSetupStub, model, scratch.path(), L"setup.exe");
    if (installedRuntime) {
        EXPECT_TRUE(layOutStandinRuntime(toUtf8(scratch.file(L"jre"))));
    }
    if (const auto layout = describeAppendedData(installer.launcher)) {
        uint64_t position = layout->payloadStart;
        for (const auto& file : model.files)
            position += 8 + file.bytes.size();
        installer.unextractedPosition = position;
    }
    return installer;
}

LauncherOutcome runInstaller(const Installer& installer, std::vector<std::wstring> arguments,
                             const std::wstring& workingDirectory = L"")
{
    ProcessOptions options = launcherOptions(installer.temp, std::move(arguments),
                                             {{L"SEALDECK_LOG", L"yes"}, {L"SLDK_TRACE", installer.trace}});
    options.workingDirectory = workingDirectory;
    return runLauncher(installer.launcher, installer.temp, options);
}

std::string fileText(const std::wstring& path)
{
    const auto bytes = readFileBytes(path);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<missing>");
}

// The log lines in the order given appear in the log in that order.
void expectInOrder(const std::string& log, const std::vector<std::string>& lines)
{
    const std::vector<std::string> all = logLinesWithoutTime(log);
    size_t at = 0;
    for (const std::string& line : lines) {
        while (at < all.size() && all[at].rfind(line, 0) != 0)
            ++at;
        EXPECT_LT(at, all.size()) << "no \"" << line << "\" (in this order) in\n" << log;
    }
}

} // namespace

// A plain quiet run: the data is checked, the included file extracted into a fresh
// directory, the installed runtime found and main called with the user's arguments.
TEST(InstallerScenario, QuietRunExtractsFindsTheRuntimeAndStartsTheJavaSide)
{
    ScratchDirectory scratch;
    const Installer installer = makeInstaller(scratch);
    const LauncherOutcome outcome = runInstaller(installer, {L"-q", L"user argument"});
    EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
    const std::string log = singleLogText(outcome);
    expectInOrder(log, {"Init done", "Quiet installer.", "Starting work", "verifying integrity length",
                        "extracting files", "Current working dir: ", "No JRE included", "launching program"});

    const std::vector<std::wstring> directories = extractionDirectories(installer.temp);
    ASSERT_EQ(directories.size(), 1u) << log;
    EXPECT_EQ(fileText(directories.front() + L"\\app.jar"), kPayload);
    const std::vector<std::string> trace = traceLines(installer.trace);
    // The installer's natives are bound from its own module before main runs: 79 methods of
    // 15 classes.
    const std::vector<std::string> natives = traced(trace, "natives: ");
    EXPECT_EQ(natives.size(), 79u) << log;
    std::vector<std::string> classes;
    for (const std::string& line : natives) {
        const std::string name = line.substr(0, line.find(' '));
        if (classes.empty() || classes.back() != name)
            classes.push_back(name);
    }
    EXPECT_EQ(classes.size(), 15u);
    EXPECT_FALSE(hasLogLine(log, "ERROR: registering helper dll failed")) << log;

    // The launcher's own arguments come first, the user's last, the switches included.
    const std::vector<std::string> arguments = traced(trace, "arg ");
    ASSERT_GE(arguments.size(), 2u) << log;
    EXPECT_TRUE(arguments[arguments.size() - 2].ends_with(": -q")) << arguments[arguments.size() - 2];
    EXPECT_TRUE(arguments.back().ends_with(": user argument")) << arguments.back();
}

// The runtime the installer carries is unpacked into "jre" of the extraction directory, the
// archive deleted, and the VM started from there.
TEST(InstallerScenario, IncludedRuntimeIsUnpackedAndStarted)
{
    ScratchDirectory scratch;
    const Installer installer = makeInstaller(scratch, false, true);

    const LauncherOutcome outcome = runInstaller(installer, {L"-q"});
    EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
    const std::string log = singleLogText(outcome);
    const std::vector<std::wstring> directories = extractionDirectories(installer.temp);
    ASSERT_EQ(directories.size(), 1u) << log;
    const std::string extracted = toUtf8(directories.front());
    expectInOrder(log, {"JRE included", "extracting JRE", "untaring JRE was successful", "JRE dir: " + extracted + "\\jre",
                        "launching program"});
    EXPECT_TRUE(fileExists(directories.front() + L"\\jre\\bin\\server\\jvm.dll"));
    EXPECT_FALSE(fileExists(directories.front() + L"\\jre.tar.gz")) << "the archive stays";
    EXPECT_FALSE(traced(traceLines(installer.trace), "arg ").empty()) << "main was not called\n" << log;
}

// With entry 161 an installed runtime wins over the one the installer carries, which then
// stays packed.
TEST(InstallerScenario, PreferredInstalledRuntimeLeavesTheIncludedOneAlone)
{
    ScratchDirectory scratch;
    const Installer installer = makeInstaller(scratch, true, true, {{161, "1"}});

    const LauncherOutcome outcome = runInstaller(installer, {L"-q"});
    EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
    const std::string log = singleLogText(outcome);
    expectInOrder(log, {"JRE included", "launching program"});
    EXPECT_FALSE(hasLogLine(log, "extracting JRE")) << log;
    EXPECT_FALSE(traced(traceLines(installer.trace), "arg ").empty()) << "main was not called\n" << log;
}

// Without any runtime a quiet installer cannot ask for one: exit code 83, and the extraction
// directory nobody would learn the name of is gone.
// "-c" is quiet with a console.
TEST(InstallerScenario, QuietRunWithoutRuntimeEndsWith83AndLeavesNothing)
{
    for (const wchar_t* quiet : {L"-q", L"-c"}) {
        SCOPED_TRACE(toUtf8(quiet));
        ScratchDirectory scratch;
        const Installer installer = makeInstaller(scratch, false);
        const LauncherOutcome outcome = runInstaller(installer, {quiet});
        EXPECT_EQ(outcome.process.exitCode, 83u) << describe(outcome);
        const std::string log = singleLogText(outcome);
        EXPECT_TRUE(hasLogLine(log, "ERROR: No JRE found")) << log;
        EXPECT_TRUE(extractionDirectories(installer.temp).empty());
        EXPECT_TRUE(traceLines(installer.trace).empty()) << "the Java side ran";
    }
}

// Extract-and-exit extracts beside the executable, writes where the Java side's data begins
// (the bare number) and ends without starting Java.
TEST(InstallerScenario, ExtractAndExitWritesTheUnextractedPositionOnly)
{
    ScratchDirectory scratch;
    const Installer installer = makeInstaller(scratch);
    const LauncherOutcome outcome = runInstaller(installer, {L"__sldk_extract_and_exit", L"-q"});
    EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
    const std::wstring extracted = installer.launcher + L".test";
    EXPECT_EQ(fileText(extracted + L"\\app.jar"), kPayload);
    EXPECT_EQ(fileText(extracted + L"\\unextracted.txt"), std::to_string(installer.unextractedPosition));
    EXPECT_TRUE(traceLines(installer.trace).empty()) << "the Java side ran";
    EXPECT_TRUE(extractionDirectories(installer.temp).empty());
}

// A position file that cannot be written is the internal error "71", and the directory with
// the files goes as on any error.
TEST(InstallerScenario, ExtractAndExitWithoutItsPositionFileEndsWithInternalError71)
{
    ScratchDirectory scratch;
    const Installer installer = makeInstaller(scratch);
    const std::wstring extracted = installer.launcher + L".test";
    ASSERT_TRUE(CreateDirectoryW(extracted.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((extracted + L"\\unextracted.txt").c_str(), nullptr));
    const LauncherOutcome outcome = runInstaller(installer, {L"__sldk_extract_and_exit", L"-q"});
    EXPECT_EQ(outcome.process.exitCode, 1u) << describe(outcome);
    const std::string output = outcome.process.standardOutput + outcome.process.standardError;
    EXPECT_NE(output.find("An internal error occurred (error code: 71)"), std::string::npos) << output;
    EXPECT_TRUE(hasLogLine(singleLogText(outcome), "ERROR: Could not write file with unextracted position"));
    EXPECT_EQ(GetFileAttributesW(extracted.c_str()), INVALID_FILE_ATTRIBUTES);
}

// A language restart runs in the first run's directory when its files are there: no check,
// no extraction; when one is missing, everything is extracted again into a fresh directory.
TEST(InstallerScenario, LanguageRestartReusesItsDirectoryOnlyWhenTheFilesAreThere)
{
    for (const bool complete : {true, false}) {
        SCOPED_TRACE(complete ? "both files there" : "sldkparams.conf missing");
        ScratchDirectory scratch;
        const Installer installer = makeInstaller(scratch);
        const std::wstring first = scratch.subdirectory(L"first run");
        ASSERT_TRUE(writeFileBytes(first + L"\\sldkruntime.jar", {'j'}));
        if (complete) {
            ASSERT_TRUE(writeFileBytes(first + L"\\sldkparams.conf", {'p'}));
        }

        const LauncherOutcome outcome = runInstaller(installer, {L"__sldk_lang_restart"}, first);
        EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
        const std::string log = singleLogText(outcome);
        EXPECT_TRUE(hasLogLine(log, "language restart")) << log;
        EXPECT_FALSE(hasLogLineStartingWith(log, "verifying integrity")) << log;
        EXPECT_FALSE(traced(traceLines(installer.trace), "arg ").empty()) << "main was not called\n" << log;
        if (complete) {
            EXPECT_FALSE(hasLogLineStartingWith(log, "extracting files")) << log;
            EXPECT_TRUE(extractionDirectories(installer.temp).empty());
        } else {
            expectInOrder(log, {"could not find sldkparams.conf", "extracting files"});
            // Its error exit would not remove it either: the directory belongs to the restart.
            EXPECT_EQ(extractionDirectories(installer.temp).size(), 1u);
        }
    }
}

// The reboot marker counts only as the whole tail.
TEST(InstallerScenario, RebootMarkerWithMoreTextStartsAnOrdinaryInstaller)
{
    ScratchDirectory scratch;
    const Installer installer = makeInstaller(scratch);
    const LauncherOutcome outcome = runInstaller(installer, {L"__sldk_reboot", L"-q"});
    EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
    expectInOrder(singleLogText(outcome), {"Quiet installer.", "extracting files", "launching program"});
}

// A real runtime's VM library needs libraries of the runtime's own bin folder. The restricted
// DLL search of both launchers still finds them there (and only there).
TEST(InstallerScenario, VmLibraryFindsTheLibrariesOfItsRuntimesBinFolder)
{
    StandinRuntimeOptions runtime;
    runtime.companionLibrary = true;
    for (const bool installer : {true, false}) {
        SCOPED_TRACE(installer ? "setuplauncher" : "servicelauncher");
        ScratchDirectory scratch;
        const std::wstring trace = scratch.file(L"trace.txt");
        const std::wstring temp = scratch.subdirectory(L"tmp");
        sldkpack::LauncherModel model = basicModel(installer ? "1" : "4");
        sldkpack::setConfig(model, 122, "com.example.Main");
        sldkpack::setConfig(model, 128, "Ajre");
        ASSERT_TRUE(layOutStandinRuntime(toUtf8(scratch.file(L"jre")), runtime));
        const std::wstring launcher =
            buildLauncherFile(installer ? kSetupStub : kServiceStub, model, scratch.path(), L"app.exe");
        const LauncherOutcome outcome = runLauncher(launcher, temp, {installer ? L"-q" : L"/run"},
                                                    {{L"SEALDECK_LOG", L"yes"}, {L"SLDK_TRACE", trace}});
        EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
        EXPECT_FALSE(traced(traceLines(trace), "arg ").empty()) << "main was not called\n" << singleLogText(outcome);
    }
}

// In single-instance mode a second start of the same installer leaves at once with exit code
// 0 while the first one runs; a language restart is exempt (it is that first one's child).
TEST(InstallerScenario, SecondInstanceInSingleInstanceModeEndsWithZero)
{
    ScratchDirectory scratch;
    const Installer installer = makeInstaller(scratch, true, false, {{10005, "1"}});
    ProcessOptions firstOptions = launcherOptions(installer.temp, {L"-q"},
                                                  {{L"SLDK_TRACE", installer.trace}, {L"SLDK_JVM_SLEEP_MS", L"20000"}});
    RunningProcess first = startProcess(installer.launcher, firstOptions);
    ASSERT_TRUE(first.started()) << first.startError();
    for (int i = 0; i < 200 && traced(traceLines(installer.trace), "arg ").empty(); ++i)
        Sleep(50);
    ASSERT_FALSE(traced(traceLines(installer.trace), "arg ").empty()) << "the first installer did not start";

    Installer second = installer;
    second.trace = scratch.file(L"second.txt");
    second.temp = scratch.subdirectory(L"tmp2");
    const LauncherOutcome outcome = runInstaller(second, {L"-q"});
    EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
    const std::string log = singleLogText(outcome);
    EXPECT_TRUE(hasLogLine(log, "single instance mode")) << log;
    EXPECT_FALSE(hasLogLineStartingWith(log, "Starting work")) << log;
    EXPECT_TRUE(traceLines(second.trace).empty());
}
