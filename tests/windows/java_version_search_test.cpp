// The version of one java executable: the per-user version cache, the "-version" run and
// its command line, against the stand-in java.exe.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "launchcore/configuration.h"
#include "launchcore/windows/java_version_query.h"
#include "launchcore/windows/jvm_search.h"
#include "testing/standin_runtime.h"

namespace {

std::string lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string environment(const char* name)
{
    char buffer[32768];
    const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

void setEnvironment(const char* name, const char* value)
{
    SetEnvironmentVariableA(name, value);
    _putenv((std::string(name) + "=" + (value ? value : "")).c_str());
}

FILETIME lastWriteOf(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

class JvmSearchVersion : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int counter = 0;
        root_ = lower(environment("TEMP")) + "\\jvmver_" + std::to_string(GetCurrentProcessId()) + "_" +
                std::to_string(++counter);
        removeDirectoryTree(root_);
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
        runs_ = root_ + "\\runs.txt";
        setEnvironment("SLDK_JAVA_RUNS", runs_.c_str());
        for (const char* name : {"SLDK_JAVA_BANNER", "SLDK_JAVA_VERSION_LINE", "SLDK_JAVA_EXIT", "SLDK_JAVA_SLEEP_MS"})
            setEnvironment(name, nullptr);
        installConfiguration({}, {});
        home_ = root_ + "\\rt";
        ASSERT_TRUE(layOutStandinRuntime(home_));
        exe_ = home_ + "\\bin\\java.exe";
    }
    void TearDown() override
    {
        setEnvironment("SLDK_JAVA_RUNS", nullptr);
        setEnvironment("SLDK_JAVA_SLEEP_MS", nullptr);
        removeDirectoryTree(root_);
    }

    bool check(std::string& version)
    {
        std::string path = exe_;
        return checkJavaExe(path, version, parseVersion("1.8"), {}, true, true);
    }

    size_t javaRuns() { return recordedJavaRuns(runs_).size(); }

    std::string root_;
    std::string runs_;
    std::string home_;
    std::string exe_;
};

TEST_F(JvmSearchVersion, CacheIsUsedUntilTheExecutableChanges)
{
    std::string version;
    ASSERT_TRUE(check(version));
    EXPECT_EQ(version, "1.8.0_181");
    EXPECT_EQ(javaRuns(), 1u);
    std::string cached;
    ASSERT_TRUE(readVersionCacheEntry(exe_, cached));
    EXPECT_EQ(cached, "1.8.0_181");

    ASSERT_TRUE(check(version));
    EXPECT_EQ(javaRuns(), 1u) << "an unchanged executable is not started again";

    // A caller that asks for a fresh version bypasses the cache once.
    std::string path = exe_;
    ASSERT_TRUE(checkJavaExe(path, version, {}, {}, true, false));
    EXPECT_EQ(javaRuns(), 2u);

    ASSERT_TRUE(touchFile(exe_));
    ASSERT_TRUE(check(version));
    EXPECT_EQ(javaRuns(), 3u) << "a new last-write time makes the entry stale";
}

TEST_F(JvmSearchVersion, CacheEntriesThatDoNotCount)
{
    const struct {
        const char* name;
        std::string stored;
        bool queried;
        const char* version;
    } cases[] = {
        {"failed run marker", "1.0.0", true, "1.8.0_181"},
        {"old truncated text", "1.7.", true, "1.8.0_181"},
        {"old full text", "1.7.0_80", false, "1.7.0_80"},
        {"stored with its terminator", std::string("1.8.0_202\0", 10), false, "1.8.0_202"},
        {"6000 bytes without terminator", std::string(6000, '9'), true, "1.8.0_181"},
        {"5000 bytes without terminator", "1." + std::string(4998, '8'), false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeVersionCacheEntry(lower(exe_), lastWriteOf(exe_), c.stored));
        const size_t before = javaRuns();
        std::string version;
        std::string path = exe_;
        checkJavaExe(path, version, {}, {}, true, true);
        EXPECT_EQ(javaRuns() - before, c.queried ? 1u : 0u);
        if (c.version)
            EXPECT_EQ(version, c.version);
        else
            EXPECT_EQ(version, c.stored);
    }
}

TEST_F(JvmSearchVersion, FailedRunsAreRememberedAndTimeoutsTerminated)
{
    ASSERT_TRUE(writeTextFile(home_ + "\\bin\\java-exit.txt", "1"));
    std::string version;
    EXPECT_FALSE(check(version));
    std::string cached;
    ASSERT_TRUE(readVersionCacheEntry(exe_, cached));
    EXPECT_EQ(cached, "1.0.0");
    EXPECT_FALSE(check(version));
    EXPECT_EQ(javaRuns(), 2u) << "the failure marker makes the next check run it again";

    // A run that outlives the limit is terminated and leaves no marker.
    ASSERT_TRUE(writeTextFile(home_ + "\\bin\\java-exit.txt", "0"));
    ASSERT_TRUE(touchFile(exe_));
    setEnvironment("SLDK_JAVA_SLEEP_MS", "20000");
    const DWORD start = GetTickCount();
    EXPECT_FALSE(queryJavaVersion(exe_, lastWriteOf(exe_), version, 300));
    EXPECT_LT(GetTickCount() - start, 10000u);
    ASSERT_TRUE(readVersionCacheEntry(exe_, cached));
    EXPECT_EQ(cached, "1.0.0") << "entry of the old last-write time left alone";
    std::string stale;
    // The cache entry still carries the old time, so it does not count for the new one.
    std::string path = exe_;
    setEnvironment("SLDK_JAVA_SLEEP_MS", nullptr);
    EXPECT_TRUE(checkJavaExe(path, stale, {}, {}, true, true));
}

TEST_F(JvmSearchVersion, VersionQueryQuotesAPathWithSpaces)
{
    // Wine always has short names, so the run is given the long path as it would be when
    // short names are disabled on the volume.
    const std::string programFiles = environment("ProgramFiles").empty() ? "C:\\Program Files" : environment("ProgramFiles");
    const std::string home = programFiles + "\\Sldk Fake Java " + std::to_string(GetCurrentProcessId());
    ASSERT_EQ(programFiles.find(' '), std::string("C:\\Program").size()) << programFiles;
    const std::string plant = programFiles.substr(0, programFiles.find(' ')) + ".exe";
    ASSERT_TRUE(layOutStandinRuntime(home));
    ASSERT_TRUE(CopyFileA((standinDirectory() + "\\java.exe").c_str(), plant.c_str(), TRUE)) << plant;

    const std::string exe = home + "\\bin\\java.exe";
    std::string version;
    const bool ok = runVersionQuery(exe, lower(exe), lastWriteOf(exe), version);
    DeleteFileA(plant.c_str());
    removeDirectoryTree(home);

    EXPECT_TRUE(ok);
    EXPECT_EQ(version, "1.8.0_181");
    const std::vector<std::string> runs = recordedJavaRuns(runs_);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(lower(runs[0].substr(0, runs[0].find('|'))), lower(exe));
    EXPECT_EQ(runs[0].substr(runs[0].find('|') + 1), "\"" + exe + "\" -version");
}

} // namespace
