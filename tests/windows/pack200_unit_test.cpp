// Jar restoration against a runtime tree with the stand-in unpack200.exe (built beside this
// test program), which records every command line it gets.
#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "launchcore/configuration.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/messages/error_display.h"
#include "launchcore/windows/pack200.h"
#include "testing/launcher_run.h"
#include "testing/test_files.h"

namespace {

std::string logText()
{
    logLine(L"-- mark --");
    const wchar_t* path = logPath();
    return path ? readTextFile(std::wstring(path)) : std::string();
}

int countLines(const std::vector<std::string>& all, const std::string& wanted)
{
    int count = 0;
    for (const std::string& line : all)
        count += line == wanted ? 1 : 0;
    return count;
}

std::string toUtf8(const std::wstring& text)
{
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr,
                        nullptr);
    return bytes;
}

std::wstring fromUtf8(const std::string& text)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// One recorded unpack200 run, split as the tool's runtime splits it.
std::vector<std::string> splitRun(const std::string& line)
{
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(fromUtf8(line).c_str(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; argv && i < count; ++i)
        arguments.push_back(toUtf8(argv[i]));
    LocalFree(argv);
    return arguments;
}

std::vector<std::string> recordedRuns(const std::string& path)
{
    std::vector<std::string> runs;
    for (const std::string& line : logLinesWithoutTime(readTextFile(path)))
        if (!line.empty())
            runs.push_back(line);
    return runs;
}

// Points descriptor 1 at a binary file, so the console notice can be read back byte for byte.
class StdoutCapture {
public:
    explicit StdoutCapture(const std::string& path)
    {
        fflush(stdout);
        saved_ = _dup(1);
        const int file = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0666);
        _dup2(file, 1);
        _close(file);
    }
    ~StdoutCapture()
    {
        fflush(stdout);
        _dup2(saved_, 1);
        _close(saved_);
    }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

private:
    int saved_ = -1;
};

std::string testProgramDirectory()
{
    char path[MAX_PATH + 1];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH)
        return ".";
    std::string text(path, length);
    return text.substr(0, text.find_last_of('\\'));
}

// A runtime tree (bin\unpack200.exe, lib, lib\ext) in a fresh folder, with the stand-in's
// environment pointed at a run record in that folder.
class Pack200Unit : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int counter = 0;
        char base[MAX_PATH + 1];
        const DWORD length = GetTempPathA(MAX_PATH + 1, base);
        root_ = std::string(length > 0 && length <= MAX_PATH ? base : ".\\") + "pack200_" +
                std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
        removeDirectoryTree(root_);
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
        home_ = root_ + "\\jre";
        for (const char* directory : {"", "\\bin", "\\lib", "\\lib\\ext"})
            ASSERT_TRUE(CreateDirectoryA((home_ + directory).c_str(), nullptr)) << directory;
        const std::string tool = testProgramDirectory() + "\\unpack200.exe";
        ASSERT_TRUE(CopyFileA(tool.c_str(), (home_ + "\\bin\\unpack200.exe").c_str(), FALSE))
            << "stand-in missing: " << tool;
        runs_ = root_ + "\\runs.txt";
        SetEnvironmentVariableA("SLDK_UNPACK200_LOG", runs_.c_str());
        SetEnvironmentVariableA("SLDK_UNPACK200_EXIT", nullptr);
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("SLDK_UNPACK200_LOG", nullptr);
        SetEnvironmentVariableA("SLDK_UNPACK200_EXIT", nullptr);
        removeDirectoryTree(root_);
    }

    // Runs unpackJarPacks and returns what it wrote to standard output.
    std::string unpack()
    {
        const std::string captured = root_ + "\\stdout.txt";
        {
            StdoutCapture capture(captured);
            unpackJarPacks(home_);
        }
        return readTextFile(captured);
    }

    std::string root_;
    std::string home_;
    std::string runs_;
};

TEST_F(Pack200Unit, RestoresEveryMissingJarInOrder)
{
    const char* packs[] = {"lib\\rt.jar.pack", "lib\\charsets.jar.pack", "lib\\ext\\zipfs.jar.pack"};
    for (const char* pack : packs)
        ASSERT_TRUE(writeTextFile(home_ + "\\" + pack, std::string("packed ") + pack));
    ASSERT_TRUE(writeTextFile(home_ + "\\lib\\readme.txt", "not a pack"));

    const size_t logStart = logText().size();
    EXPECT_EQ(unpack(), "Preparing JRE ...\n");

    const std::vector<std::string> runs = recordedRuns(runs_);
    ASSERT_EQ(runs.size(), 3u) << readTextFile(runs_);
    std::vector<std::string> jarsRun;
    for (const std::string& run : runs) {
        const std::vector<std::string> arguments = splitRun(run);
        ASSERT_EQ(arguments.size(), 4u) << run;
        EXPECT_EQ(arguments[0], home_ + "\\bin\\unpack200.exe") << run;
        EXPECT_EQ(arguments[1], "-r") << run;
        EXPECT_EQ(arguments[2], arguments[3] + ".pack") << run;
        jarsRun.push_back(arguments[3]);
    }
    // Both packs of lib come before the one of lib\ext, in whatever order the directory lists them.
    EXPECT_EQ(jarsRun[2], home_ + "\\lib\\ext\\zipfs.jar");
    EXPECT_NE(jarsRun[0], jarsRun[1]);

    for (const char* pack : packs) {
        const std::string packPath = home_ + "\\" + pack;
        const std::string jarPath = packPath.substr(0, packPath.size() - 5);
        EXPECT_FALSE(fileOrFolderExists(packPath)) << pack;
        EXPECT_EQ(readTextFile(jarPath), std::string("packed ") + pack) << pack;
    }
    EXPECT_TRUE(fileOrFolderExists(home_ + "\\lib\\readme.txt"));

    const std::vector<std::string> logLines = logLinesWithoutTime(logText().substr(logStart));
    EXPECT_EQ(countLines(logLines, "Unpacking JRE"), 1);
    EXPECT_EQ(countLines(logLines, "Unpacking JRE done"), 1);
    EXPECT_EQ(countLines(logLines, "waiting for unpack200 to finish"), 3);
    EXPECT_EQ(countLines(logLines, "unpack done"), 3);
    EXPECT_EQ(countLines(logLines, "checking " + home_ + "\\lib\\ext\\zipfs.jar"), 1);

    // A second call finds every jar in place and starts nothing.
    EXPECT_EQ(unpack(), "");
    EXPECT_EQ(recordedRuns(runs_).size(), 3u);
}

TEST_F(Pack200Unit, ExistingJarIsNotRestoredAndItsPackStays)
{
    ASSERT_TRUE(writeTextFile(home_ + "\\lib\\rt.jar.pack", "packed"));
    ASSERT_TRUE(writeTextFile(home_ + "\\lib\\rt.jar", "already here"));

    const size_t logStart = logText().size();
    EXPECT_EQ(unpack(), "");
    EXPECT_TRUE(recordedRuns(runs_).empty());
    EXPECT_TRUE(fileOrFolderExists(home_ + "\\lib\\rt.jar.pack"));
    EXPECT_EQ(readTextFile(home_ + "\\lib\\rt.jar"), "already here");

    const std::vector<std::string> logLines = logLinesWithoutTime(logText().substr(logStart));
    EXPECT_EQ(countLines(logLines, "checking " + home_ + "\\lib\\rt.jar"), 1);
    EXPECT_EQ(countLines(logLines, "Unpacking JRE"), 0);
    EXPECT_EQ(countLines(logLines, "Unpacking JRE done"), 0);
}

TEST_F(Pack200Unit, FailedToolKeepsThePackAndLeavesNoJar)
{
    ASSERT_TRUE(writeTextFile(home_ + "\\lib\\rt.jar.pack", "packed"));
    SetEnvironmentVariableA("SLDK_UNPACK200_EXIT", "3");

    const size_t logStart = logText().size();
    EXPECT_EQ(unpack(), "Preparing JRE ...\n");
    EXPECT_EQ(recordedRuns(runs_).size(), 1u);
    EXPECT_TRUE(fileOrFolderExists(home_ + "\\lib\\rt.jar.pack"));
    EXPECT_FALSE(fileOrFolderExists(home_ + "\\lib\\rt.jar")) << "the partial jar would pass for a restored one";

    const std::vector<std::string> logLines = logLinesWithoutTime(logText().substr(logStart));
    EXPECT_EQ(countLines(logLines, "ERROR: unpack200 failed (exit 3)"), 1);

    // Once the tool works again, the kept pack is restored.
    SetEnvironmentVariableA("SLDK_UNPACK200_EXIT", nullptr);
    unpack();
    EXPECT_FALSE(fileOrFolderExists(home_ + "\\lib\\rt.jar.pack"));
    EXPECT_EQ(readTextFile(home_ + "\\lib\\rt.jar"), "packed");
}

TEST_F(Pack200Unit, MissingPackOrNoPacksStartNothing)
{
    const size_t logStart = logText().size();
    unpackPackFile(home_, home_ + "\\lib\\gone.jar.pack");
    EXPECT_EQ(unpack(), "");
    EXPECT_TRUE(recordedRuns(runs_).empty());
    const std::vector<std::string> logLines = logLinesWithoutTime(logText().substr(logStart));
    EXPECT_EQ(countLines(logLines, "pack path doesn't exists"), 1);
    EXPECT_EQ(countLines(logLines, "Unpacking JRE"), 0);
}

TEST_F(Pack200Unit, SinglePackFileWithBlanksInItsPath)
{
    ASSERT_TRUE(CreateDirectoryA((root_ + "\\my files").c_str(), nullptr));
    const std::string pack = root_ + "\\my files\\user lib.jar.pack";
    ASSERT_TRUE(writeTextFile(pack, "content"));
    unpackPackFile(home_, pack);

    const std::vector<std::string> runs = recordedRuns(runs_);
    ASSERT_EQ(runs.size(), 1u);
    const std::vector<std::string> arguments = splitRun(runs[0]);
    ASSERT_EQ(arguments.size(), 4u) << runs[0];
    EXPECT_EQ(arguments[1], "-r");
    EXPECT_EQ(arguments[2], pack);
    EXPECT_EQ(arguments[3], root_ + "\\my files\\user lib.jar");
    EXPECT_FALSE(fileOrFolderExists(pack));
    EXPECT_EQ(readTextFile(root_ + "\\my files\\user lib.jar"), "content");
}

TEST_F(Pack200Unit, ToolThatCannotStartIsFatal)
{
    ASSERT_TRUE(DeleteFileA((home_ + "\\bin\\unpack200.exe").c_str()));
    ASSERT_TRUE(writeTextFile(home_ + "\\lib\\rt.jar.pack", "packed"));
    EXPECT_EXIT(
        {
            disableGuiErrorMode();
            installConfiguration({}, {{1009, u"An internal error occurred (error code: {0})"}});
            unpackJarPacks(home_);
        },
        ::testing::ExitedWithCode(1), "error code: 20");
    EXPECT_TRUE(fileOrFolderExists(home_ + "\\lib\\rt.jar.pack"));
}

} // namespace
