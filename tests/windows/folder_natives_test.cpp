// The FolderInfo natives in-process: folders against what the system says through other
// channels (environment, its own path calls), paths made by the test, and values the test
// writes under the CurrentVersion key with names of its own, deleted afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <jni.h>

#include <string>

#include "launchcore/windows/base/text_conversion.h"
#include "testing/natives_harness/natives_harness.h"
#include "testing/test_files.h"

using namespace natives_harness;

namespace {

using SpecialFolder = jstring (*)(JNIEnv*, jobject, jint, jboolean);
using NoArgument = jstring (*)(JNIEnv*, jobject);
using PathNative = jstring (*)(JNIEnv*, jobject, jstring);
using DriveType = jint (*)(JNIEnv*, jobject, jstring);

const wchar_t kCurrentVersion[] = L"Software\\Microsoft\\Windows\\CurrentVersion";

std::wstring variable(const wchar_t* name)
{
    wchar_t value[MAX_PATH * 4] = {};
    return GetEnvironmentVariableW(name, value, MAX_PATH * 4) ? value : L"";
}

std::optional<std::wstring> wide(jobject text)
{
    const auto value = textOf(text);
    return value ? std::optional<std::wstring>(toWide(*value)) : std::nullopt;
}

jstring java(const std::wstring& text) { return javaString(toU16(text)); }

bool isDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

class FolderNatives : public testing::Test {
protected:
    void SetUp() override { registerProgramNatives(); }
    void TearDown() override { dropLocalReferences(); }
    std::optional<std::wstring> special(jint code, bool allUsers)
    {
        return wide(call(boundNative<SpecialFolder>("FolderInfo", "getSpecialFolder0"), code, allUsers));
    }
    jstring pathCall(const char* method, jstring path)
    {
        return call(boundNative<PathNative>("FolderInfo", method), path);
    }
};

TEST_F(FolderNatives, ResolvesShellAndKnownFolders)
{
    const std::wstring profile = variable(L"USERPROFILE");
    const struct {
        jint code;
        bool allUsers;
        std::wstring expected;
    } folders[] = {
        {7, false, variable(L"APPDATA")},      {7, true, variable(L"ProgramData")},
        {11, false, variable(L"LOCALAPPDATA")}, {11, true, variable(L"LOCALAPPDATA")},
        {0, false, profile + L"\\Desktop"},     {999, true, profile + L"\\Desktop"},
        {-4, false, profile + L"\\Desktop"},    {1001, false, profile + L"\\Downloads"},
        {1001, true, profile + L"\\Downloads"}, {1004, false, profile},
        {2000000, true, profile},
    };
    for (const auto& folder : folders) {
        SCOPED_TRACE(testing::Message() << "code " << folder.code << (folder.allUsers ? " all users" : " current user"));
        ASSERT_FALSE(folder.expected.empty());
        EXPECT_EQ(special(folder.code, folder.allUsers), folder.expected);
    }
    // Every mapped folder is answered, made first when it was missing.
    for (jint code = 1; code <= 11; ++code)
        for (const bool allUsers : {false, true}) {
            SCOPED_TRACE(testing::Message() << "code " << code << " all users " << allUsers);
            const std::optional<std::wstring> path = special(code, allUsers);
            ASSERT_TRUE(path.has_value());
            EXPECT_TRUE(isDirectory(*path)) << narrowAnsi(*path);
        }
}

// A shell-folder library beside the program (the search's first place when it is not
// restricted) that a comparison by plain name would take: it has no version to compare.
TEST_F(FolderNatives, NeverLoadsAShellFolderLibraryBesideTheProgram)
{
    wchar_t program[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameW(nullptr, program, MAX_PATH), 0u);
    std::wstring planted = program;
    planted = planted.substr(0, planted.rfind(L'\\') + 1);
    const std::wstring unversioned = planted + L"sldk_version_none.dll";
    planted += L"_shfoldr.dll";
    ASSERT_TRUE(CopyFileW(unversioned.c_str(), planted.c_str(), FALSE));

    EXPECT_EQ(special(7, false), variable(L"APPDATA"));
    EXPECT_EQ(GetModuleHandleW(L"_shfoldr.dll"), nullptr);
    EXPECT_NE(GetModuleHandleW(L"shfolder.dll"), nullptr);
    DeleteFileW(planted.c_str());
}

TEST_F(FolderNatives, AnswersSystemDirectoriesAndDriveTypes)
{
    wchar_t expected[MAX_PATH] = {};
    ASSERT_NE(GetSystemWindowsDirectoryW(expected, MAX_PATH), 0u);
    EXPECT_EQ(wide(call(boundNative<NoArgument>("FolderInfo", "getWindowsDirectory0"))), expected);
    ASSERT_NE(GetSystemDirectoryW(expected, MAX_PATH), 0u);
    EXPECT_EQ(wide(call(boundNative<NoArgument>("FolderInfo", "getSystemDirectory0"))), expected);

    const auto driveType = boundNative<DriveType>("FolderInfo", "getDriveType0");
    EXPECT_EQ(call(driveType, java(L"C:\\")), DRIVE_FIXED);
    EXPECT_EQ(call(driveType, java(L"C:")), DRIVE_FIXED);
    EXPECT_EQ(call(driveType, java(L"C:\\no such folder\\")), DRIVE_NO_ROOT_DIR);
}

TEST_F(FolderNatives, ShortensExistingPathsAndPassesOthersThrough)
{
    const TemporaryFolder folder("sldk folder natives with a long name");
    const std::wstring path = widenAnsi(folder / "a file with a long name.text");
    ASSERT_TRUE(writeTextFile(path, "x"));
    const std::optional<std::wstring> shortPath = wide(pathCall("getShortPathName0", java(path)));
    ASSERT_TRUE(shortPath.has_value());
    EXPECT_EQ(shortPath->find(L' '), std::wstring::npos) << toU16(*shortPath).size();
    wchar_t longPath[MAX_PATH] = {};
    ASSERT_NE(GetLongPathNameW(shortPath->c_str(), longPath, MAX_PATH), 0u);
    EXPECT_EQ(_wcsicmp(longPath, path.c_str()), 0);

    for (const std::wstring& missing : {path + L".missing", std::wstring(40000, L'x'), std::wstring()}) {
        const jstring argument = java(missing);
        EXPECT_TRUE(env()->IsSameObject(pathCall("getShortPathName0", argument), argument)) << missing.size();
    }
    EXPECT_EQ(pathCall("getShortPathName0", nullptr), nullptr);
}

TEST_F(FolderNatives, ReportsTheErrorForALocalPathsUniversalName)
{
    EXPECT_EQ(textOf(pathCall("getUniversalPathName0", java(variable(L"TEMP")))), u";2250");
}

class CurrentVersionValues : public FolderNatives {
protected:
    void SetUp() override
    {
        FolderNatives::SetUp();
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCurrentVersion, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key_),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        for (const std::wstring& name : written_)
            RegDeleteValueW(key_, name.c_str());
        RegCloseKey(key_);
        FolderNatives::TearDown();
    }
    // A value of the test's own under the CurrentVersion key; its name is returned.
    std::wstring write(const std::wstring& suffix, const std::wstring& data, DWORD bytes)
    {
        const std::wstring name = L"sldk-tests-" + std::to_wstring(GetCurrentProcessId()) + L"-" + suffix;
        EXPECT_EQ(RegSetValueExW(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()), bytes),
                  ERROR_SUCCESS);
        written_.push_back(name);
        return name;
    }
    std::optional<std::wstring> read(const std::wstring& name) { return wide(pathCall("getPathFromRegistry0", java(name))); }

    HKEY key_ = nullptr;
    std::vector<std::wstring> written_;
};

TEST_F(CurrentVersionValues, ReturnsTextUpToItsNulOrTheDataEnd)
{
    const std::wstring longest(16383, L'p');
    EXPECT_EQ(read(write(L"unterminated", longest, 16383 * 2)), longest);
    EXPECT_EQ(read(write(L"odd", L"abcd", 7)), L"abc");
    EXPECT_EQ(read(write(L"inner-nul", std::wstring(L"ab\0cd", 5), 10)), L"ab");
    EXPECT_EQ(read(write(L"empty", L"", 0)), L"");
    EXPECT_EQ(read(L"sldk-tests-" + std::to_wstring(GetCurrentProcessId()) + L"-absent"), std::nullopt);
    EXPECT_EQ(read(L"ProgramFilesDir"), variable(L"ProgramFiles"));
}

} // namespace
