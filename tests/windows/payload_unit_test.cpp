// The included-file extractor and the error clean-up, in-process against real files.
// extractPayload end to end needs a launcher with appended data: see the scenario tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "launchcore/configuration.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/messages/error_display.h"
#include "launchcore/windows/payload.h"
#include "launchcore/windows/log/temporary_directory.h"
#include "launchcore/windows/base/wide_format.h"
#include "launchcore/windows/state/launcher_state.h"
#include "launchcore/windows/files/extraction_directory.h"
#include "testing/test_files.h"

namespace {

// The part of this process's log written after construction.
class LogSince {
public:
    LogSince() : start_(current().size()) {}
    std::string text() const
    {
        const std::string all = current();
        return all.size() > start_ ? all.substr(start_) : std::string();
    }

private:
    static std::string current()
    {
        logLine(L"-- mark --"); // makes sure the log exists
        const wchar_t* path = logPath();
        return path ? readTextFile(std::wstring(path)) : std::string();
    }
    size_t start_;
};

std::string entry(int64_t length, const std::string& content)
{
    std::string bytes;
    for (int i = 0; i < 8; ++i)
        bytes.push_back(static_cast<char>((static_cast<uint64_t>(length) >> (8 * i)) & 0xFF));
    for (char c : content)
        bytes.push_back(static_cast<char>(c ^ 0x3C));
    return bytes;
}

std::string pattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 13 + 5) & 0xFF);
    return bytes;
}

int64_t filePosition(HANDLE file)
{
    LARGE_INTEGER zero{};
    LARGE_INTEGER position{};
    SetFilePointerEx(file, zero, &position, FILE_CURRENT);
    return position.QuadPart;
}

TEST(PayloadUnit, ExtractPayloadFileEntries)
{
    struct Case {
        const char* what;
        std::string source;        // the entry as it is in the launcher file
        int result;
        bool fileCreated;
        std::string content;       // expected content when created
        int64_t positionAfter;
    };
    const std::string big = pattern(6000 * 3 + 17); // more than one copy chunk
    const Case cases[] = {
        {"small entry", entry(5, "hello") + "rest", 0, true, "hello", 13},
        {"several chunks", entry(static_cast<int64_t>(big.size()), big), 0, true, big,
         8 + static_cast<int64_t>(big.size())},
        {"length 0", entry(0, "") + entry(1, "x"), 0, false, "", 8},
        {"negative length takes no bytes", entry(-4, "") + "abcd", 0, false, "", 8},
        {"very negative length", entry(INT64_MIN, "") + "abcd", 0, false, "", 8},
        {"entry cut short", entry(100000, pattern(100)), 1, true, pattern(100), 108},
    };
    for (const Case& c : cases) {
        TemporaryFolder scratch("payload");
        const std::string sourcePath = scratch / "launcher.bin";
        ASSERT_TRUE(writeTextFile(sourcePath, c.source)) << c.what;
        HANDLE source = CreateFileA(sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(source, INVALID_HANDLE_VALUE) << c.what;
        const std::string target = scratch / "out.bin";

        LogSince log;
        EXPECT_EQ(extractPayloadFile(source, target), c.result) << c.what;
        EXPECT_EQ(filePosition(source), c.positionAfter) << c.what;
        CloseHandle(source);

        EXPECT_EQ(fileOrFolderExists(target), c.fileCreated) << c.what;
        if (c.fileCreated) {
            EXPECT_EQ(readTextFile(target), c.content) << c.what;
            // A failed copy must not keep the unshared target open, or the clean-up cannot
            // delete it.
            EXPECT_TRUE(DeleteFileA(target.c_str())) << c.what << " (error " << GetLastError() << ")";
        }
        EXPECT_NE(log.text().find("extracting " + target + " (size: "), std::string::npos) << c.what;
    }
}

TEST(PayloadUnit, EmptyDirectoryGoesOneLevelDeep)
{
    for (const char* suffix : {"", "\\"}) {
        TemporaryFolder scratch("payload");
        const std::string top = scratch / "tree";
        for (const char* directory : {"tree", "tree\\first", "tree\\first\\second", "tree\\onlyfiles", "tree\\empty"})
            ASSERT_TRUE(CreateDirectoryA((scratch / directory).c_str(), nullptr));
        const char* files[] = {"tree\\a.txt", "tree\\b.jar", "tree\\first\\c.txt", "tree\\first\\d.txt",
                               "tree\\first\\second\\e.txt", "tree\\onlyfiles\\f.txt"};
        for (const char* file : files)
            ASSERT_TRUE(writeTextFile(scratch / file, file));

        LogSince log;
        emptyDirectory(top + suffix, true);

        struct Expectation {
            const char* path;
            bool remains;
        };
        const Expectation expectations[] = {
            {"tree", true},                         // emptyDirectory never removes its own path
            {"tree\\a.txt", false},
            {"tree\\b.jar", false},
            {"tree\\first\\c.txt", false},
            {"tree\\first\\d.txt", false},
            {"tree\\first\\second\\e.txt", true},   // two levels down: left alone
            {"tree\\first\\second", true},
            {"tree\\first", true},                  // not empty, so it stays
            {"tree\\onlyfiles", false},
            {"tree\\empty", false},
        };
        for (const Expectation& e : expectations)
            EXPECT_EQ(fileOrFolderExists(scratch / e.path), e.remains) << e.path << " with suffix \"" << suffix << "\"";

        const std::string text = log.text();
        EXPECT_NE(text.find("emptying " + top), std::string::npos);
        EXPECT_NE(text.find("attempting to remove " + top + "\\first (1)"), std::string::npos) << text;
        EXPECT_NE(text.find("emptying " + top + "\\first"), std::string::npos) << text;
        EXPECT_NE(text.find("attempting to remove " + top + "\\first\\second (0)"), std::string::npos) << text;
        EXPECT_NE(text.find("attempting to delete " + top + "\\a.txt"), std::string::npos) << text;
    }
}

TEST(PayloadUnit, EmptyDirectoryWithoutSubdirectoriesAndIgnoredPaths)
{
    TemporaryFolder scratch("payload");
    ASSERT_TRUE(CreateDirectoryA((scratch / "sub").c_str(), nullptr));
    ASSERT_TRUE(writeTextFile(scratch / "top.txt", "x"));
    ASSERT_TRUE(writeTextFile(scratch / "sub\\inner.txt", "y"));

    // Relative dot paths are never emptied, whatever they point at.
    char saved[MAX_PATH + 1];
    ASSERT_NE(GetCurrentDirectoryA(MAX_PATH + 1, saved), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA(scratch.path().c_str()));
    for (const char* path : {".", ".\\", ".\\sub", "..", ""})
        emptyDirectory(path, true);
    SetCurrentDirectoryA(saved);
    EXPECT_TRUE(fileOrFolderExists(scratch / "top.txt"));
    EXPECT_TRUE(fileOrFolderExists(scratch / "sub\\inner.txt"));

    emptyDirectory(scratch.path(), false);
    EXPECT_FALSE(fileOrFolderExists(scratch / "top.txt"));
    EXPECT_TRUE(fileOrFolderExists(scratch / "sub\\inner.txt"));
    EXPECT_TRUE(fileOrFolderExists(scratch / "sub"));

    emptyDirectory(scratch / "missing", true); // nothing to find, nothing happens
}

// Only a process can show that a bad name creates nothing: extraction checks every name
// before it makes a directory or opens the launcher file.
TEST(PayloadUnit, UnsafeNamesCreateNothing)
{
    const char* lists[] = {
        "..\\evil.txt",
        "good.txt;dir\\..\\..\\evil.txt",
        "dir\\ok.txt;C:\\evil.txt",
        "ok.txt;\\evil.txt",
        "a.txt;b.txt:stream",
        "ok\\x.txt;/evil.txt",
    };
    for (const char* list : lists) {
        TemporaryFolder scratch("payload");
        const std::string base = scratch / "extract";
        ASSERT_TRUE(CreateDirectoryA(base.c_str(), nullptr));
        setExtractionDirectory(base);
        installConfiguration({{2002, "5"}, {2003, list}}, {});

        LogSince log;
        EXPECT_EQ(extractPayload(false), 1) << list;
        EXPECT_EQ(unextractedPosition(), 0) << list;
        const std::string text = log.text();
        EXPECT_NE(text.find("ERROR: unsafe payload name "), std::string::npos) << list << "\n" << text;
        EXPECT_EQ(text.find("creating directory"), std::string::npos) << list;
        EXPECT_EQ(text.find("extracting " + base), std::string::npos) << list;

        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((base + "\\*").c_str(), &found);
        int entries = 0;
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = found.cFileName;
                if (name != "." && name != "..")
                    ++entries;
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        EXPECT_EQ(entries, 0) << list;
        EXPECT_FALSE(fileOrFolderExists(scratch / "evil.txt")) << list;
        setExtractionDirectory({});
    }
    installConfiguration({}, {});
}

TEST(PayloadUnit, NothingToExtractSetsNoDirectory)
{
    for (const char* count : {"0", "-2", "", "none"}) {
        setExtractionDirectory("C:\\should-be-cleared");
        installConfiguration({{2002, count}, {2003, "a.txt;b.txt"}}, {});
        LogSince log;
        EXPECT_EQ(extractPayload(true), 0) << count;
        EXPECT_TRUE(extractionDirectory().empty()) << count;
        EXPECT_EQ(unextractedPosition(), 0) << count;
        const std::string text = log.text();
        EXPECT_NE(text.find("extracting files"), std::string::npos) << count;
        EXPECT_EQ(text.find("extracting files done"), std::string::npos) << count;
    }
    // Without the flag the directory the installer made stays as it is.
    setExtractionDirectory("C:\\kept");
    installConfiguration({{2002, "0"}}, {});
    EXPECT_EQ(extractPayload(false), 0);
    EXPECT_EQ(extractionDirectory(), "C:\\kept");
    setExtractionDirectory({});
    installConfiguration({}, {});
}

TEST(PayloadUnit, FilesWithoutAnExtractionDirectoryAreNotWrittenAtTheDriveRoot)
{
    setExtractionDirectory({});
    installConfiguration({{2002, "1"}, {2003, "stray.txt"}}, {});
    LogSince log;
    EXPECT_EQ(extractPayload(false), 1);
    EXPECT_NE(log.text().find("ERROR: no extraction directory for the included files"), std::string::npos);
    EXPECT_FALSE(fileOrFolderExists("\\stray.txt"));
    installConfiguration({}, {});
}

// A target that cannot be created ends the process with message 1009 "11", and the clean-up
// removes the extraction directory with what was extracted so far.
TEST(PayloadUnit, UncreatableTargetIsFatalAndCleansUp)
{
    // The death test's child runs this body again in a process with a temporary directory
    // of its own, so it takes the parent's folder from the environment it inherits.
    constexpr const char* kShared = "SLDK_PAYLOAD_FATAL_DIR";
    char inherited[MAX_PATH + 1];
    const DWORD inheritedLength = GetEnvironmentVariableA(kShared, inherited, sizeof inherited);
    std::optional<TemporaryFolder> scratch;
    std::string folder;
    if (inheritedLength > 0 && inheritedLength < sizeof inherited) {
        folder.assign(inherited, inheritedLength);
    } else {
        scratch.emplace("payload");
        folder = scratch->path();
        SetEnvironmentVariableA(kShared, folder.c_str());
    }
    const std::string base = folder + "\\extract";
    const std::string sourcePath = folder + "\\launcher.bin";
    if (scratch) {
        ASSERT_TRUE(CreateDirectoryA(base.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA((base + "\\sub").c_str(), nullptr));
        ASSERT_TRUE(writeTextFile(base + "\\earlier.txt", "x"));
        ASSERT_TRUE(writeTextFile(base + "\\sub\\earlier.txt", "y"));
        ASSERT_TRUE(writeTextFile(sourcePath, entry(3, "abc")));
    }

    EXPECT_EXIT(
        {
            disableGuiErrorMode();
            installConfiguration({}, {{1009, u"An internal error occurred (error code: {0})"}});
            setExtractionDirectory(base);
            HANDLE source = CreateFileA(sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
            extractPayloadFile(source, base + "\\no-such-dir\\x.txt");
        },
        ::testing::ExitedWithCode(1), "error code: 11");
    SetEnvironmentVariableA(kShared, nullptr);
    EXPECT_FALSE(fileOrFolderExists(base));
}

} // namespace
