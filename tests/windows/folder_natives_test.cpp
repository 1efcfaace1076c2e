// The FolderInfo natives in-process, against what the system says through other channels
// (environment, its own path calls), on paths the test makes, and on values it writes under
// the CurrentVersion key (the native's fixed key) with names of its own, deleted afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <jni.h>

#include <optional>
#include <string>

#include "launchcore/windows/base/text_conversion.h"
#include "testing/natives_harness/natives_harness.h"
#include "testing/test_files.h"

using namespace natives_harness;

namespace {

using PathNative = jstring (*)(JNIEnv*, jobject, jstring);

std::wstring variable(const wchar_t* name)
{
    wchar_t value[1024] = {};
    return GetEnvironmentVariableW(name, value, 1024) ? value : L"";
}

std::optional<std::wstring> wide(jobject text)
{
    const auto value = textOf(text);
    return value ? std::optional<std::wstring>(toWide(*value)) : std::nullopt;
}

jstring java(const std::wstring& text) { return javaString(toU16(text)); }

class FolderNatives : public testing::Test {
protected:
    void SetUp() override { registerProgramNatives(); }
    void TearDown() override { dropLocalReferences(); }
    std::optional<std::wstring> special(jint code, bool allUsers)
    {
        using Native = jstring (*)(JNIEnv*, jobject, jint, jboolean);
        return wide(call(boundNative<Native>("FolderInfo", "getSpecialFolder0"), code, allUsers));
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
        {7, false, variable(L"APPDATA")},        {7, true, variable(L"ProgramData")},
        {11, true, variable(L"LOCALAPPDATA")},   {0, false, profile + L"\\Desktop"},
        {999, true, profile + L"\\Desktop"},     {-4, false, profile + L"\\Desktop"},
        {1001, false, profile + L"\\Downloads"}, {1001, true, profile + L"\\Downloads"},
        {2000000, true, profile},
    };
    for (const auto& folder : folders)
        EXPECT_EQ(special(folder.code, folder.allUsers), folder.expected) << folder.code << " " << folder.allUsers;
    // Every mapped folder is answered, and made first where it was missing.
    for (jint code = 1; code <= 11; ++code)
        for (const bool allUsers : {false, true}) {
            const std::optional<std::wstring> path = special(code, allUsers);
            EXPECT_TRUE(path && (GetFileAttributesW(path->c_str()) & FILE_ATTRIBUTE_DIRECTORY)) << code << allUsers;
        }
}

// A shell-folder library beside the program, where an unrestricted search looks first, and
// without a version, so that a comparison by plain name would take it.
TEST_F(FolderNatives, NeverLoadsAShellFolderLibraryBesideTheProgram)
{
    wchar_t program[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameW(nullptr, program, MAX_PATH), 0u);
    const std::wstring folder = std::wstring(program).substr(0, std::wstring(program).rfind(L'\\') + 1);
    const std::wstring planted = folder + L"_shfoldr.dll";
    ASSERT_TRUE(CopyFileW((folder + L"sldk_version_none.dll").c_str(), planted.c_str(), FALSE));
    EXPECT_EQ(special(7, false), variable(L"APPDATA"));
    EXPECT_EQ(GetModuleHandleW(L"_shfoldr.dll"), nullptr);
    EXPECT_NE(GetModuleHandleW(L"shfolder.dll"), nullptr);
    DeleteFileW(planted.c_str());
}

TEST_F(FolderNatives, AnswersDirectoriesDrivesShortAndUniversalNames)
{
    using NoArgument = jstring (*)(JNIEnv*, jobject);
    wchar_t expected[MAX_PATH] = {};
    ASSERT_NE(GetSystemWindowsDirectoryW(expected, MAX_PATH), 0u);
    EXPECT_EQ(wide(call(boundNative<NoArgument>("FolderInfo", "getWindowsDirectory0"))), expected);
    ASSERT_NE(GetSystemDirectoryW(expected, MAX_PATH), 0u);
    EXPECT_EQ(wide(call(boundNative<NoArgument>("FolderInfo", "getSystemDirectory0"))), expected);

    const auto driveType = boundNative<jint (*)(JNIEnv*, jobject, jstring)>("FolderInfo", "getDriveType0");
    EXPECT_EQ(call(driveType, java(L"C:")), DRIVE_FIXED);
    EXPECT_EQ(call(driveType, java(L"C:\\no such folder\\")), DRIVE_NO_ROOT_DIR);

    const TemporaryFolder folder("sldk folder natives with a long name");
    const std::wstring path = widenAnsi(folder / "a file with a long name.text");
    ASSERT_TRUE(writeTextFile(path, "x"));
    const std::optional<std::wstring> shortPath = wide(pathCall("getShortPathName0", java(path)));
    ASSERT_TRUE(shortPath && shortPath->find(L' ') == std::wstring::npos);
    ASSERT_NE(GetLongPathNameW(shortPath->c_str(), expected, MAX_PATH), 0u);
    EXPECT_EQ(_wcsicmp(expected, path.c_str()), 0);
    // Paths it cannot shorten come back as the very string passed in.
    for (const std::wstring& other : {path + L".missing", std::wstring(40000, L'x'), std::wstring()}) {
        const jstring argument = java(other);
        EXPECT_TRUE(env()->IsSameObject(pathCall("getShortPathName0", argument), argument)) << other.size();
    }
    EXPECT_EQ(textOf(pathCall("getUniversalPathName0", java(path))), u";2250");
}

TEST_F(FolderNatives, ReadsCurrentVersionValuesUpToTheirNulOrDataEnd)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", 0,
                            KEY_QUERY_VALUE | KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    const std::wstring prefix = L"sldk-tests-" + std::to_wstring(GetCurrentProcessId()) + L"-";
    const std::wstring longest(16383, L'p');
    const struct {
        const wchar_t* name;
        std::wstring data;
        DWORD bytes;
        std::optional<std::wstring> expected;
    } values[] = {
        {L"unterminated", longest, 16383 * 2, longest}, {L"odd", L"abcd", 7, L"abc"},
        {L"inner-nul", std::wstring(L"ab\0cd", 5), 10, L"ab"}, {L"empty", L"", 0, L""},
    };
    for (const auto& value : values)
        EXPECT_EQ(RegSetValueExW(key, (prefix + value.name).c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(value.data.data()), value.bytes),
                  ERROR_SUCCESS);
    for (const auto& value : values) {
        EXPECT_EQ(wide(pathCall("getPathFromRegistry0", java(prefix + value.name))), value.expected) << value.name;
        RegDeleteValueW(key, (prefix + value.name).c_str());
    }
    RegCloseKey(key);
    EXPECT_EQ(wide(pathCall("getPathFromRegistry0", java(prefix + L"absent"))), std::nullopt);
    EXPECT_EQ(wide(pathCall("getPathFromRegistry0", java(L"ProgramFilesDir"))), variable(L"ProgramFiles"));
}

} // namespace
