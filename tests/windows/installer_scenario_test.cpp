// The installer end to end in its quiet modes, against the stand-in runtime laid out beside
// it: the check, the extraction, the runtime choice and the Java side, and the restart modes
// with which the installer's Java side starts it again.
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

// An installer with one included file, the data for the Java side behind it, and (unless
// left out) the stand-in runtime in "jre" beside it, where its search looks.
Installer makeInstaller(const ScratchDirectory& scratch, bool withRuntime = true)
{
    Installer installer;
    installer.trace = scratch.file(L"trace.txt");
    installer.temp = scratch.subdirectory(L"tmp");
    sldkpack::LauncherModel model = basicModel("1");
    model.integrityCheck = true;
    sldkpack::setConfig(model, 122, "com.example.Setup");
    sldkpack::setConfig(model, 128, "Ajre");
    model.files.push_back(sldkpack::IncludedFile{"app.jar", std::vector<uint8_t>(kPayload.begin(), kPayload.end())});
    model.trailer.assign(3000, 0x42);
    installer.launcher = buildLauncherFile(kSetupStub, model, scratch.path(), L"setup.exe");
    if (withRuntime)
        EXPECT_TRUE(layOutStandinRuntime(toUtf8(scratch.file(L"jre"))));
    if (const auto layout = describeAppendedData(installer.launcher))
        installer.unextractedPosition = layout->payloadStart + 8 + kPayload.size();
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

std::vector<std::wstring> extractionDirectories(const std::wstring& temp)
{
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((temp + L"\\vxn*.tmp_dir*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return found;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            found.push_back(temp + L"\\" + entry.cFileName);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return found;
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
    // The launcher's own arguments come first, the user's last, the switches included.
    const std::vector<std::string> arguments = traced(trace, "arg ");
    ASSERT_GE(arguments.size(), 2u) << log;
    EXPECT_TRUE(arguments[arguments.size() - 2].ends_with(": -q")) << arguments[arguments.size() - 2];
    EXPECT_TRUE(arguments.back().ends_with(": user argument")) << arguments.back();
}

// Without any runtime a quiet installer cannot ask for one: exit code 83, and the extraction
// directory nobody would learn the name of is gone.
TEST(InstallerScenario, QuietRunWithoutRuntimeEndsWith83AndLeavesNothing)
{
    ScratchDirectory scratch;
    const Installer installer = makeInstaller(scratch, false);
    const LauncherOutcome outcome = runInstaller(installer, {L"-q"});
    EXPECT_EQ(outcome.process.exitCode, 83u) << describe(outcome);
    const std::string log = singleLogText(outcome);
    EXPECT_TRUE(hasLogLine(log, "ERROR: No JRE found")) << log;
    EXPECT_TRUE(extractionDirectories(installer.temp).empty());
    EXPECT_TRUE(traceLines(installer.trace).empty()) << "the Java side ran";
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
        if (complete)
            ASSERT_TRUE(writeFileBytes(first + L"\\sldkparams.conf", {'p'}));

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
