// The folder an installer is downloaded to is hostile: copies of system libraries planted
// there must never be loaded. Each test plants a library that marks its own loading under
// every name the launchers bind at run time, tells Wine to prefer such copies over its own
// (Windows would load them from the program's folder by default), and runs a launcher beside
// them.
#include "testing/launcher_run.h"
#include "testing/loopback_http_server.h"
#include "testing/runtime_tarball.h"
#include "testing/standin_runtime.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

const wchar_t* const kPlantedNames[] = {L"davhlpr", L"fwbase",   L"version",  L"comctl32", L"wininet", L"winhttp",
                                        L"userenv", L"netapi32", L"bcrypt",   L"mpr",      L"shfolder"};

// Wine prefers copies in the program's folder over its own libraries only where told to, so
// while it lives this tells it so for one program file name (a key of the test's own, under
// the per-program settings; Windows ignores it and searches the program's folder anyway).
class PreferPlantedCopies {
public:
    explicit PreferPlantedCopies(const std::wstring& programName)
        : key_(L"Software\\Wine\\AppDefaults\\" + programName)
    {
        HKEY overrides = nullptr;
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (key_ + L"\\DllOverrides").c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &overrides, nullptr),
                  ERROR_SUCCESS);
        const wchar_t order[] = L"native,builtin";
        for (const wchar_t* name : kPlantedNames)
            RegSetValueExW(overrides, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof(order));
        RegCloseKey(overrides);
    }
    PreferPlantedCopies(const PreferPlantedCopies&) = delete;
    PreferPlantedCopies& operator=(const PreferPlantedCopies&) = delete;
    ~PreferPlantedCopies() { RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }

private:
    std::wstring key_;
};

// A program file name of this test run's own.
std::wstring uniqueName(const wchar_t* stem)
{
    return std::wstring(stem) + std::to_wstring(GetCurrentProcessId()) + L".exe";
}

void plantLibraries(const std::wstring& folder)
{
    const std::wstring planted = testProgramDirectory() + L"\\sldk_planted.dll";
    for (const wchar_t* name : kPlantedNames)
        ASSERT_TRUE(CopyFileW(planted.c_str(), (folder + L"\\" + name + L".dll").c_str(), FALSE)) << name;
}

// The planted libraries that were loaded.
std::vector<std::wstring> loadedPlants(const std::wstring& folder)
{
    std::vector<std::wstring> loaded;
    for (const wchar_t* name : kPlantedNames)
        if (fileExists(folder + L"\\" + name + L".dll.loaded"))
            loaded.push_back(name);
    return loaded;
}

// The planted libraries that the system's own libraries load before a program's first line:
// a program that loads nothing but the window library, from a planted folder of its own.
// Wine's window library imports version.dll, so there the plant of that name is loaded into
// every program with a window library, ours included, where Windows loads none.
std::vector<std::wstring> plantsLoadedBySystemLibraries(const ScratchDirectory& scratch)
{
    static int baselines = 0;
    const std::wstring folder = scratch.subdirectory(L"baseline" + std::to_wstring(++baselines));
    plantLibraries(folder);
    const std::wstring name = uniqueName(L"baseline");
    const PreferPlantedCopies prefer(name);
    const std::wstring loader = folder + L"\\" + name;
    EXPECT_TRUE(CopyFileW((testProgramDirectory() + L"\\plain_loader.exe").c_str(), loader.c_str(), FALSE));
    ProcessOptions options;
    options.arguments = {L"user32.dll"};
    EXPECT_EQ(runProcess(loader, options).exitCode, 0u);
    return loadedPlants(folder);
}

std::string names(const std::vector<std::wstring>& list)
{
    std::string text;
    for (const std::wstring& name : list)
        text += toUtf8(name) + " ";
    return text;
}

ProcessOptions plantedRunOptions(const std::wstring& temp, std::vector<std::wstring> arguments,
                                 const std::wstring& trace)
{
    ProcessOptions options =
        launcherOptions(temp, std::move(arguments), {{L"SEALDECK_LOG", L"yes"}, {L"SLDK_TRACE", trace}});
    options.timeoutMs = 90000;
    return options;
}

} // namespace

// Without this the other tests would pass for any plant that never loads.
TEST(DllPlantingScenario, APlantedLibraryIsLoadedByTheDefaultSearch)
{
    ScratchDirectory scratch;
    plantLibraries(scratch.path());
    const std::wstring name = uniqueName(L"loader");
    const PreferPlantedCopies prefer(name);
    const std::wstring loader = scratch.file(name);
    ASSERT_TRUE(CopyFileW((testProgramDirectory() + L"\\plain_loader.exe").c_str(), loader.c_str(), FALSE));
    ProcessOptions options;
    options.arguments = {L"version.dll"};
    const ProcessResult result = runProcess(loader, options);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(loadedPlants(scratch.path()), std::vector<std::wstring>{L"version"});
}

// Integrity check, extraction, the included runtime's untar, the VM start and the natives'
// registration; then the download of a runtime from the loopback server.
TEST(DllPlantingScenario, InstallersLoadNothingFromTheirFolder)
{
    ScratchDirectory scratch;
    plantLibraries(scratch.path());
    const std::wstring home = scratch.subdirectory(L"published");
    ASSERT_TRUE(layOutStandinRuntime(toUtf8(home)));
    const std::string runtime = tarGz(treeMembers(home));

    sldkpack::LauncherModel included = basicModel("1");
    included.integrityCheck = true;
    sldkpack::setConfig(included, 122, "com.example.Setup");
    included.files.push_back({"jre.tar.gz", std::vector<uint8_t>(runtime.begin(), runtime.end())});
    included.files.push_back({"app.jar", std::vector<uint8_t>(100, 'j')});
    const std::wstring setupName = uniqueName(L"setup");
    const PreferPlantedCopies preferForSetup(setupName);
    const std::wstring setup = buildLauncherFile(kSetupStub, included, scratch.path(), setupName);
    const LauncherOutcome outcome = runLauncher(
        setup, scratch.subdirectory(L"tmp"), plantedRunOptions(scratch.file(L"tmp"), {L"-q"}, scratch.file(L"t1")));
    EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
    EXPECT_TRUE(hasLogLineStartingWith(singleLogText(outcome), "untaring JRE")) << describe(outcome);
    EXPECT_EQ(names(loadedPlants(scratch.path())), names(plantsLoadedBySystemLibraries(scratch)));

    LoopbackHttpServer server;
    ASSERT_TRUE(server.listening());
    server.serve("/jre.tar.gz", replyWith(runtime));
    sldkpack::LauncherModel downloading = basicModel("1");
    sldkpack::setConfig(downloading, 122, "com.example.Setup");
    sldkpack::setConfig(downloading, 126, "1.8");
    sldkpack::setConfig(downloading, 150, server.url("/jre.tar.gz"));
    sldkpack::setConfig(downloading, 157, "1");
    const std::wstring downloadName = uniqueName(L"download");
    const PreferPlantedCopies preferForDownload(downloadName);
    const std::wstring download = buildLauncherFile(kSetupStub, downloading, scratch.path(), downloadName);
    const LauncherOutcome downloaded =
        runLauncher(download, scratch.subdirectory(L"tmp2"),
                    plantedRunOptions(scratch.file(L"tmp2"), {L"-q", L"-manual"}, scratch.file(L"t2")));
    EXPECT_EQ(downloaded.process.exitCode, 0u) << describe(downloaded);
    EXPECT_EQ(server.requests("/jre.tar.gz"), 1);
    EXPECT_EQ(names(loadedPlants(scratch.path())), names(plantsLoadedBySystemLibraries(scratch)));
}

TEST(DllPlantingScenario, ServiceLauncherLoadsNothingFromItsFolder)
{
    ScratchDirectory scratch;
    plantLibraries(scratch.path());
    ASSERT_TRUE(layOutStandinRuntime(toUtf8(scratch.file(L"jre"))));
    sldkpack::LauncherModel model = basicModel("4");
    sldkpack::setConfig(model, 122, "com.example.Main");
    sldkpack::setConfig(model, 128, "Ajre;");
    const std::wstring serviceName = uniqueName(L"service");
    const PreferPlantedCopies prefer(serviceName);
    const std::wstring service = buildLauncherFile(kServiceStub, model, scratch.path(), serviceName);
    const LauncherOutcome outcome = runLauncher(
        service, scratch.subdirectory(L"tmp"), plantedRunOptions(scratch.file(L"tmp"), {L"/run"}, scratch.file(L"t")));
    EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
    EXPECT_EQ(names(loadedPlants(scratch.path())), names(plantsLoadedBySystemLibraries(scratch)));
}

// The natives in a process of their own (the natives test program, whose probe calls each
// native that binds a library), started from the planted folder.
TEST(DllPlantingScenario, NativesLoadNothingFromTheProgramFolder)
{
    ScratchDirectory scratch;
    plantLibraries(scratch.path());
    const std::wstring name = uniqueName(L"probe");
    const PreferPlantedCopies prefer(name);
    const std::wstring probe = scratch.file(name);
    ASSERT_TRUE(CopyFileW((testProgramDirectory() + L"\\windows_natives_tests.exe").c_str(), probe.c_str(), FALSE));
    ProcessOptions options;
    options.arguments = {L"--gtest_filter=PlantedLibraryProbe.*"};
    const ProcessResult result = runProcess(probe, options);
    EXPECT_EQ(result.exitCode, 0u) << result.standardOutput;
    EXPECT_NE(result.standardOutput.find("[  PASSED  ] 1 test"), std::string::npos) << result.standardOutput;
    EXPECT_EQ(names(loadedPlants(scratch.path())), names(plantsLoadedBySystemLibraries(scratch)));
}
