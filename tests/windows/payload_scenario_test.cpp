// Included files as a user sees them: "servicelauncher /run" extracts them into a fresh
// extraction directory below its temporary directory, and on any failure ends with exit
// code 1 and leaves no extraction directory behind.
#include "testing/launcher_run.h"
#include "testing/standin_runtime.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// A service launcher (application kind 4: errors go to standard error) with these files;
// count and list override entries 2002 and 2003 when given. The stand-in runtime lies
// beside it in "jre", so that a run whose extraction succeeds goes on to a normal launch.
std::wstring serviceLauncherWith(const ScratchDirectory& scratch,
                                 const std::vector<std::pair<std::string, std::string>>& files,
                                 const char* count = nullptr, const char* list = nullptr)
{
    sldkpack::LauncherModel model = basicModel("4");
    for (const auto& [name, content] : files)
        model.files.push_back(sldkpack::IncludedFile{name, bytesOf(content)});
    if (count)
        sldkpack::setConfig(model, 2002, count);
    if (list)
        sldkpack::setConfig(model, 2003, list);
    model.trailer = bytesOf("data for the Java side");
    sldkpack::setConfig(model, 128, "Ajre");
    EXPECT_TRUE(layOutStandinRuntime(toUtf8(scratch.file(L"jre"))));
    return buildLauncherFile(kServiceStub, model, scratch.path(), L"service.exe");
}

std::string fileText(const std::wstring& path)
{
    const auto bytes = readFileBytes(path);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<missing>");
}

// The names directly inside a directory.
std::vector<std::wstring> entriesOf(const std::wstring& directory)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return names;
}

LauncherOutcome runService(const std::wstring& launcher, const std::wstring& temp)
{
    return runLauncher(launcher, temp, {L"/run"});
}

} // namespace

TEST(PayloadScenario, ExtractsIntoAFreshDirectory)
{
    struct Expected {
        std::wstring path; // below the extraction directory
        std::string content;
    };
    const struct {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files;
        const char* count;
        const char* list;
        std::vector<Expected> present;
        std::vector<std::wstring> absent;
    } cases[] = {
        {"plain files",
         {{"sldkruntime.jar", "runtime bytes"}, {"sldkparams.conf", "a=b\r\n"}},
         nullptr, nullptr,
         {{L"sldkruntime.jar", "runtime bytes"}, {L"sldkparams.conf", "a=b\r\n"}},
         {}},
        {"more names than the count",
         {{"one.txt", "1"}, {"two.txt", "2"}, {"three.txt", "3"}},
         "2", "one.txt;two.txt;three.txt",
         {{L"one.txt", "1"}, {L"two.txt", "2"}},
         {L"three.txt"}},
        {"separators in a row",
         {{"one.txt", "1"}, {"two.txt", "2"}},
         "2", ";;one.txt;;;two.txt;",
         {{L"one.txt", "1"}, {L"two.txt", "2"}},
         {}},
        {"an empty file creates nothing",
         {{"before.txt", "b"}, {"empty.txt", ""}, {"after.txt", "a"}},
         nullptr, nullptr,
         {{L"before.txt", "b"}, {L"after.txt", "a"}},
         {L"empty.txt"}},
        {"directory levels",
         {{"top.txt", "t"}, {"lib\\one.jar", "one level"}, {"lib\\deeper\\two.jar", "two levels"},
          {"lib\\again.jar", "existing level"}},
         nullptr, nullptr,
         {{L"top.txt", "t"}, {L"lib\\one.jar", "one level"}, {L"lib\\deeper\\two.jar", "two levels"},
          {L"lib\\again.jar", "existing level"}},
         {}},
        {"\"/\" separates levels like \"\\\"",
         {{"web/static/app.js", "slashes"}, {"web\\static/style.css", "mixed"}},
         nullptr, nullptr,
         {{L"web\\static\\app.js", "slashes"}, {L"web\\static\\style.css", "mixed"}},
         {}},
        {"a file larger than one copy chunk",
         {{"big.bin", std::string(20000, 'x') + "end"}},
         nullptr, nullptr,
         {{L"big.bin", std::string(20000, 'x') + "end"}},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDirectory scratch;
        const std::wstring temp = scratch.subdirectory(L"tmp");
        const std::wstring launcher = serviceLauncherWith(scratch, c.files, c.count, c.list);
        ASSERT_FALSE(launcher.empty());

        const LauncherOutcome outcome = runService(launcher, temp);
        EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
        const std::vector<std::wstring> directories = extractionDirectories(temp);
        ASSERT_EQ(directories.size(), 1u) << describe(outcome);
        for (const Expected& e : c.present)
            EXPECT_EQ(fileText(directories[0] + L"\\" + e.path), e.content) << toUtf8(e.path);
        for (const std::wstring& name : c.absent)
            EXPECT_FALSE(fileExists(directories[0] + L"\\" + name)) << toUtf8(name);
    }
}

TEST(PayloadScenario, NothingToExtractMakesNoDirectory)
{
    const struct {
        const char* what;
        const char* count;
    } cases[] = {{"count 0", "0"}, {"negative count", "-3"}, {"no count", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDirectory scratch;
        const std::wstring temp = scratch.subdirectory(L"tmp");
        const std::wstring launcher = serviceLauncherWith(scratch, {{"a.txt", "a"}}, c.count, "a.txt");
        ASSERT_FALSE(launcher.empty());

        const LauncherOutcome outcome = runService(launcher, temp);
        EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
        EXPECT_TRUE(extractionDirectories(temp).empty()) << describe(outcome);
    }
}

// Every failure is reported as message 1009 and removes the extraction directory, also when
// a file was open for writing at that moment.
TEST(PayloadScenario, FailuresEndWithExitOneAndLeaveNoDirectory)
{
    enum class Damage { None, CutInsideSecondFile };
    const struct {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files;
        Damage damage;
        const char* errorCode;   // of message 1009
        const char* logLine;     // an error line the log must hold
    } cases[] = {
        {"payload cut inside the second file",
         {{"first.txt", std::string(3000, 'f')}, {"second.txt", std::string(50000, 's')}, {"third.txt", "t"}},
         Damage::CutInsideSecondFile, "16", "ERROR: Failed to extract "},
        {"name that climbs out",
         {{"ok.txt", "fine"}, {"..\\evil.txt", "evil"}},
         Damage::None, "16", "ERROR: unsafe payload name ..\\evil.txt"},
        {"absolute name",
         {{"C:\\evil.txt", "evil"}},
         Damage::None, "16", "ERROR: unsafe payload name C:\\evil.txt"},
        {"name Windows opens as a device",
         {{"ok.txt", "fine"}, {"lib\\nul.txt", "nowhere"}},
         Damage::None, "16", "ERROR: unsafe payload name lib\\nul.txt"},
        {"cut after two directory levels were extracted",
         {{"lib\\deeper\\first.txt", std::string(3000, 'f')}, {"second.txt", std::string(50000, 's')}},
         Damage::CutInsideSecondFile, "16", "ERROR: Failed to extract "},
        {"directory level taken by an earlier file",
         {{"taken", "a file, not a directory"}, {"taken\\inner.txt", "cannot be written"}},
         Damage::None, "11", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDirectory scratch;
        const std::wstring temp = scratch.subdirectory(L"tmp");
        const std::wstring launcher = serviceLauncherWith(scratch, c.files);
        ASSERT_FALSE(launcher.empty());
        if (c.damage == Damage::CutInsideSecondFile) {
            const auto layout = describeAppendedData(launcher);
            ASSERT_TRUE(layout);
            const uint64_t second = layout->payloadStart + 8 + c.files[0].second.size();
            ASSERT_TRUE(truncateFile(launcher, second + 8 + c.files[1].second.size() / 2));
        }

        const LauncherOutcome outcome = runService(launcher, temp);
        EXPECT_EQ(outcome.process.exitCode, 1u) << describe(outcome);
        EXPECT_NE(outcome.process.standardError.find(std::string("(error code: ") + c.errorCode + ")"),
                  std::string::npos)
            << describe(outcome);
        EXPECT_TRUE(extractionDirectories(temp).empty()) << describe(outcome);
        EXPECT_FALSE(fileExists(temp + L"\\evil.txt"));
        EXPECT_FALSE(fileExists(scratch.file(L"evil.txt")));
        // Only the reserved temporary name and the log remain.
        for (const std::wstring& name : entriesOf(temp))
            EXPECT_TRUE(name.rfind(L"vxn", 0) == 0 || name.rfind(L"sldk_nlog_", 0) == 0) << toUtf8(name);
        if (c.logLine) {
            const std::string log = singleLogText(outcome);
            EXPECT_NE(log.find(c.logLine), std::string::npos) << log;
        }
    }
}

// A fatal error once everything is extracted (here the VM cannot be created) removes the
// whole extraction tree, however deep the included files lie.
TEST(PayloadScenario, FatalErrorAfterExtractionRemovesTheWholeTree)
{
    ScratchDirectory scratch;
    const std::wstring temp = scratch.subdirectory(L"tmp");
    const std::wstring launcher = serviceLauncherWith(
        scratch, {{"top.txt", "t"}, {"lib\\one.jar", "1"}, {"lib\\deeper\\two.jar", "2"}, {"lib\\deeper\\x\\three.jar", "3"}});
    ASSERT_FALSE(launcher.empty());

    const LauncherOutcome outcome = runLauncher(launcher, temp, {L"/run"}, {{L"SLDK_JVM_CREATE_FAIL", L"1"}});
    EXPECT_EQ(outcome.process.exitCode, 1u) << describe(outcome);
    const std::string log = singleLogText(outcome);
    EXPECT_NE(log.find("extracting files done"), std::string::npos) << log;
    EXPECT_TRUE(extractionDirectories(temp).empty()) << describe(outcome);
}
