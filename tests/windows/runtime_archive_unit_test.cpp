// The included runtime in-process: an archive of the stand-in runtime unpacked into "jre",
// its packed jars restored and its jvm.dll loaded; damaged and hostile archives; the
// fallbacks when "jre" is unusable. Loading binds the VM entry for the rest of a process and
// the failures end it, so each case runs in a child (a death test) and the parent looks at
// what the child left on disk.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <string>

#include "fuzz/tar_test_archive.h"
#include "launchcore/configuration.h"
#include "launchcore/java_version_text.h"
#include "launchcore/windows/messages/error_display.h"
#include "launchcore/windows/state/launcher_state.h"
#include "setuplauncher/windows/runtime_archive.h"
#include "testing/standin_runtime.h"
#include "testing/test_files.h"

namespace {

// The children run the test body again: they take the parent's folder from the environment.
class RuntimeArchiveUnit : public ::testing::Test {
protected:
    void SetUp() override
    {
        constexpr const char* kShared = "SLDK_RUNTIME_ARCHIVE_DIR";
        char inherited[MAX_PATH + 1];
        const DWORD length = GetEnvironmentVariableA(kShared, inherited, sizeof inherited);
        if (length > 0 && length < sizeof inherited) {
            folder_.assign(inherited, length);
            return;
        }
        owner_.emplace("runtime_archive");
        folder_ = owner_->path();
        SetEnvironmentVariableA(kShared, folder_.c_str());
        parent_ = true;
    }
    void TearDown() override
    {
        if (!parent_)
            return;
        SetEnvironmentVariableA("SLDK_RUNTIME_ARCHIVE_DIR", nullptr);
        // The version checks of the runtimes laid out here cached their answers.
        for (const char* java : {"\\x0\\jre\\jre\\bin\\java.exe", "\\installed\\bin\\java.exe"}) {
            std::string key = folder_ + java;
            for (char& c : key)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            RegDeleteTreeA(HKEY_CURRENT_USER, versionCacheKey(key).c_str());
        }
    }

    // The tree below root as members named relative to it.
    static void addTree(TestTar& tar, const std::string& root, const std::string& relative = "")
    {
        WIN32_FIND_DATAA entry;
        HANDLE search = FindFirstFileA((root + "\\" + relative + "*").c_str(), &entry);
        ASSERT_NE(search, INVALID_HANDLE_VALUE);
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..")
                continue;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                tar.directory(relative + name + "/");
                addTree(tar, root, relative + name + "\\");
            } else {
                std::string member = relative + name;
                std::replace(member.begin(), member.end(), '\\', '/');
                tar.file(member, readTextFile(root + "\\" + relative + name));
            }
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }

    // A folder holding "jre.tar.gz" with these bytes.
    std::string extraction(int n, const std::string& archive)
    {
        const std::string directory = folder_ + "\\x" + std::to_string(n);
        if (parent_) {
            EXPECT_TRUE(CreateDirectoryA(directory.c_str(), nullptr));
            EXPECT_TRUE(writeTextFile(directory + "\\jre.tar.gz", archive));
        }
        return directory;
    }

    // The stand-in JDK (java and jvm.dll in jre\bin) with a packed jar in lib and in jre\lib.
    std::string packedRuntime()
    {
        const std::string source = folder_ + "\\src";
        if (parent_) {
            EXPECT_TRUE(layOutStandinRuntime(source, {.jdk = true}));
            for (const char* bin : {"\\bin", "\\jre\\bin"})
                EXPECT_TRUE(CopyFileA((standinDirectory() + "\\unpack200.exe").c_str(),
                                      (source + bin + "\\unpack200.exe").c_str(), FALSE));
            for (const char* lib : {"\\lib", "\\jre\\lib"}) {
                CreateDirectoryA((source + lib).c_str(), nullptr);
                EXPECT_TRUE(writeTextFile(source + lib + "\\rt.jar.pack", std::string("jar of ") + lib));
            }
        }
        return source;
    }

    // The clean-up removes everything in the extraction directory; the directory itself stays
    // while it is the process's current directory, as it is here and in the installer.
    static bool emptied(const std::string& directory)
    {
        WIN32_FIND_DATAA entry;
        HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE)
            return true;
        bool empty = true;
        do
            empty = empty && (std::string(entry.cFileName) == "." || std::string(entry.cFileName) == "..");
        while (FindNextFileA(search, &entry));
        FindClose(search);
        return empty;
    }

    static void inChild(const std::string& directory, std::map<int32_t, std::string> config)
    {
        disableGuiErrorMode();
        installConfiguration(std::move(config), {{1015, u"rights"}});
        setExtractionDirectory(directory);
        SetCurrentDirectoryA(directory.c_str());
    }

    std::optional<TemporaryFolder> owner_;
    std::string folder_;
    bool parent_ = false;
};

TEST_F(RuntimeArchiveUnit, UnpacksRestoresAndLoadsTheIncludedRuntime)
{
    const std::string source = packedRuntime();
    TestTar tar;
    if (parent_)
        addTree(tar, source);
    const std::string directory = extraction(0, tar.end().gzipped());
    SetEnvironmentVariableA("SLDK_UNPACK200_LOG", (folder_ + "\\runs.txt").c_str());
    EXPECT_EXIT(
        {
            inChild(directory, {{153, "1"}, {151, "100"}});
            prepareIncludedRuntime(nullptr);
            const std::string jvm = directory + "\\jre\\jre\\bin\\server\\jvm.dll";
            ExitProcess(GetModuleHandleA(jvm.c_str()) ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
    SetEnvironmentVariableA("SLDK_UNPACK200_LOG", nullptr);
    EXPECT_FALSE(fileOrFolderExists(directory + "\\jre.tar.gz"));
    EXPECT_EQ(readTextFile(directory + "\\jre\\jre\\bin\\server\\jvm.dll"),
              readTextFile(source + "\\jre\\bin\\server\\jvm.dll"));
    for (const char* lib : {"\\lib", "\\jre\\lib"}) {
        EXPECT_EQ(readTextFile(directory + "\\jre" + lib + "\\rt.jar"), std::string("jar of ") + lib);
        EXPECT_FALSE(fileOrFolderExists(directory + "\\jre" + lib + "\\rt.jar.pack"));
    }
}

TEST_F(RuntimeArchiveUnit, DamagedOrHostileArchivesEndWithTheCorruptedRuntimeText)
{
    const std::string good = TestTar().file("a", std::string(5000, 'a')).end().gzipped();
    std::string flipped = good;
    flipped[flipped.size() - 6] ^= 1;
    const std::string archives[] = {
        TestTar().file("a", "a").file("../evil", "evil").end().gzipped(),
        TestTar().file("a", "a").longFile("..\\..\\evil", "evil").end().gzipped(),
        flipped,
        good.substr(0, good.size() / 2),
        "not an archive",
    };
    for (int n = 0; n < 5; ++n) {
        SCOPED_TRACE(n);
        const std::string directory = extraction(n + 1, archives[n]);
        EXPECT_EXIT(
            {
                inChild(directory, {});
                prepareIncludedRuntime(nullptr);
            },
            ::testing::ExitedWithCode(1),
            "The bundled JRE is corrupted. If you downloaded the setup file please download it again.");
        EXPECT_TRUE(emptied(directory));
        EXPECT_FALSE(fileOrFolderExists(folder_ + "\\evil"));
    }
}

TEST_F(RuntimeArchiveUnit, UnusableRuntimeFallsBackToTheSearchAndThenFails)
{
    const std::string installed = folder_ + "\\installed";
    if (parent_) {
        ASSERT_TRUE(layOutStandinRuntime(installed));
    }
    const std::string directory = extraction(9, "");
    if (parent_) {
        ASSERT_TRUE(CreateDirectoryA((directory + "\\jre").c_str(), nullptr));
    }
    EXPECT_EXIT(
        {
            inChild(directory, {{128, "A" + installed + ";"}});
            loadIncludedRuntime();
            ExitProcess(GetModuleHandleA(standinJvmLibrary(installed).c_str()) ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            inChild(directory, {{128, "A" + folder_ + "\\nowhere;"}});
            loadIncludedRuntime();
        },
        ::testing::ExitedWithCode(1), "Could not use bundled JRE. Please send this log file to your software vendor:");
    EXPECT_TRUE(emptied(directory));
}

} // namespace
