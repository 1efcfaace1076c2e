// Quiet installers that download their runtime without asking (entry 157) from the loopback
// server: a good archive is unpacked and its runtime started; every bad answer costs three
// attempts and ends with message 20003, exit code 1 and no archive left behind.
#include "testing/launcher_run.h"
#include "testing/loopback_http_server.h"
#include "testing/runtime_tarball.h"
#include "testing/standin_runtime.h"
#include "tools/sldkpack/sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Config = std::vector<std::pair<int32_t, std::string>>;

constexpr const char* kDownloadFailed = "The Java runtime could not be downloaded.";

// The stand-in runtime as it would be published: bin\java.exe, bin\server\jvm.dll, ...
std::string standinArchive(const ScratchDirectory& scratch)
{
    const std::wstring home = scratch.subdirectory(L"published");
    EXPECT_TRUE(layOutStandinRuntime(toUtf8(home)));
    return tarGz(treeMembers(home));
}

struct Installer {
    std::wstring launcher;
    std::wstring temp;
    std::wstring trace;
};

// "-manual" keeps the run away from runtimes other tests register on the machine; with
// nothing included it goes straight to the download.
Installer downloadingInstaller(const ScratchDirectory& scratch, const std::string& url, const Config& extra = {})
{
    Installer installer;
    sldkpack::LauncherModel model = basicModel("1");
    sldkpack::setConfig(model, 122, "com.example.Setup");
    sldkpack::setConfig(model, 123, "-Dtest.jvmHome=${launcher:sys.jvmHome}");
    sldkpack::setConfig(model, 126, "1.8");
    sldkpack::setConfig(model, 150, url);
    sldkpack::setConfig(model, 157, "1");
    for (const auto& [id, value] : extra)
        sldkpack::setConfig(model, id, value);
    installer.launcher = buildLauncherFile(kSetupStub, model, scratch.path(), L"setup.exe");
    installer.temp = scratch.subdirectory(L"tmp");
    installer.trace = scratch.file(L"trace.txt");
    return installer;
}

LauncherOutcome runQuiet(const Installer& installer)
{
    ProcessOptions options = launcherOptions(installer.temp, {L"-q", L"-manual"},
                                             {{L"SLDK_TRACE", installer.trace}, {L"SEALDECK_LOG", L"yes"}});
    // Three attempts of twenty length queries each take about twenty seconds.
    options.timeoutMs = 90000;
    return runLauncher(installer.launcher, installer.temp, options);
}

std::string lowerCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// Any "jre.tar.gz" below the folder.
bool archiveLeftBelow(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            found = archiveLeftBelow(folder + L"\\" + name);
        else
            found = _wcsicmp(name.c_str(), L"jre.tar.gz") == 0;
    } while (!found && FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}

void expectRuntimeStarted(const Installer& installer, const LauncherOutcome& outcome)
{
    EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
    const std::vector<std::string> homes = traced(traceLines(installer.trace), "option: -Dtest.jvmHome=");
    ASSERT_EQ(homes.size(), 1u) << "the stand-in VM was not started";
    // The unpacked download, in the extraction directory below the run's temporary folder
    // (the runtime check keeps paths in lower case).
    const std::string home = lowerCase(homes.front());
    EXPECT_EQ(home.rfind(lowerCase(toUtf8(installer.temp)), 0), 0u) << home;
    EXPECT_NE(home.find("\\jre\\"), std::string::npos) << home;
}

} // namespace

TEST(RuntimeDownloadScenario, QuietInstallerDownloadsUnpacksAndStartsTheRuntime)
{
    ScratchDirectory scratch;
    LoopbackHttpServer server;
    ASSERT_TRUE(server.listening());
    server.serve("/jre.tar.gz", replyWith(standinArchive(scratch)));
    const Installer installer = downloadingInstaller(scratch, server.url("/jre.tar.gz"));
    ASSERT_FALSE(installer.launcher.empty());

    const LauncherOutcome outcome = runQuiet(installer);
    expectRuntimeStarted(installer, outcome);
    EXPECT_NE(outcome.process.standardOutput.find("No JRE found. Trying to download."), std::string::npos)
        << describe(outcome);
    const std::string log = singleLogText(outcome);
    EXPECT_TRUE(hasLogLine(log, "Download location: " + server.url("/jre.tar.gz"))) << log;
    EXPECT_TRUE(hasLogLine(log, "Downloading JRE")) << log;
    EXPECT_TRUE(hasLogLine(log, "download successful")) << log;
    EXPECT_EQ(server.requests("/jre.tar.gz"), 1);
}

// A body cut halfway fails the first attempt; the second starts from an empty file.
TEST(RuntimeDownloadScenario, BrokenTransferIsRetried)
{
    ScratchDirectory scratch;
    LoopbackHttpServer server;
    const std::string archive = standinArchive(scratch);
    HttpReply cut = replyWith(archive);
    cut.closeAfter = static_cast<int64_t>(archive.size() / 2);
    server.serveInTurn("/jre.tar.gz", {cut, replyWith(archive)});
    const Installer installer = downloadingInstaller(scratch, server.url("/jre.tar.gz"));

    const LauncherOutcome outcome = runQuiet(installer);
    expectRuntimeStarted(installer, outcome);
    const std::string log = singleLogText(outcome);
    EXPECT_TRUE(hasLogLineStartingWith(log, "ERROR: InternetReadFile returned no data (")) << log;
    EXPECT_EQ(countOccurrences(log, "Retry JRE download"), 1) << log;
    EXPECT_EQ(server.requests("/jre.tar.gz"), 2);
}

TEST(RuntimeDownloadScenario, EveryBadAnswerEndsAfterThreeAttemptsWithNothingLeft)
{
    ScratchDirectory scratch;
    LoopbackHttpServer server;
    HttpReply unannounced = replyWith(std::string(4000, 'x'));
    unannounced.sendLength = false;
    server.serve("/missing", replyWith("<html>gone</html>", 404));
    server.serve("/empty", replyWith(""));
    server.serve("/nolength", unannounced);
    const struct {
        const char* path;
        const char* logged;
        int requests;
    } cases[] = {
        {"/missing", "ERROR: HTTP status 404", 3},
        {"/empty", "ERROR: empty download", 3},
        {"/nolength", "ERROR: Giving up", 60},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        ScratchDirectory run;
        const Installer installer = downloadingInstaller(run, server.url(c.path));
        const LauncherOutcome outcome = runQuiet(installer);
        EXPECT_EQ(outcome.process.exitCode, 1u) << describe(outcome);
        const std::string output = outcome.process.standardOutput + outcome.process.standardError;
        EXPECT_NE(output.find(kDownloadFailed), std::string::npos) << output;
        const std::string log = singleLogText(outcome);
        EXPECT_EQ(countOccurrences(log, c.logged), 3) << log;
        EXPECT_EQ(countOccurrences(log, "Retry JRE download"), 2) << log;
        EXPECT_EQ(server.requests(c.path), c.requests);
        EXPECT_FALSE(archiveLeftBelow(run.path()));
        EXPECT_TRUE(traceLines(installer.trace).empty()) << "no VM may start";
    }
}

// Entry 2004 holds the archive's SHA-256: the right one starts the runtime, a wrong one
// fails every attempt after the whole body.
TEST(RuntimeDownloadScenario, ConfiguredChecksumGuardsTheDownload)
{
    ScratchDirectory scratch;
    LoopbackHttpServer server;
    const std::string archive = standinArchive(scratch);
    server.serve("/jre.tar.gz", replyWith(archive));
    const std::string right = sldkpack::sha256Hex(archive.data(), archive.size());
    std::string wrong = right;
    wrong[0] = wrong[0] == 'f' ? 'e' : 'f';
    {
        ScratchDirectory run;
        const Installer installer = downloadingInstaller(run, server.url("/jre.tar.gz"), {{2004, right}});
        expectRuntimeStarted(installer, runQuiet(installer));
    }
    ScratchDirectory run;
    const Installer installer = downloadingInstaller(run, server.url("/jre.tar.gz"), {{2004, wrong}});
    const LauncherOutcome outcome = runQuiet(installer);
    EXPECT_EQ(outcome.process.exitCode, 1u) << describe(outcome);
    EXPECT_NE((outcome.process.standardOutput + outcome.process.standardError).find(kDownloadFailed),
              std::string::npos);
    const std::string log = singleLogText(outcome);
    EXPECT_EQ(countOccurrences(log, "ERROR: download checksum mismatch"), 3) << log;
    EXPECT_FALSE(archiveLeftBelow(run.path()));
    EXPECT_EQ(server.requests("/jre.tar.gz"), 4);
}
