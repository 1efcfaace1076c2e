// FileVersion.compare0 in-process against the test libraries built with version resources
// (1.2.3.4 and 1.2.3.5, product version 9.9.9.9 in both) and one built without.
#include <windows.h>

#include <gtest/gtest.h>

#include <jni.h>

#include <string>

#include "launchcore/windows/base/text_conversion.h"
#include "testing/natives_harness/natives_harness.h"
#include "testing/test_files.h"

using namespace natives_harness;

namespace {

using Compare = jint (*)(JNIEnv*, jobject, jstring, jstring);

std::wstring besideProgram(const wchar_t* name)
{
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring path = program;
    return path.substr(0, path.rfind(L'\\') + 1) + name;
}

TEST(FileVersionNatives, ComparesFileVersionsInEveryOrder)
{
    registerProgramNatives();
    const TemporaryFolder folder("sldk_file_version");
    const std::wstring older = besideProgram(L"sldk_version_1_2_3_4.dll");
    const std::wstring newer = besideProgram(L"sldk_version_1_2_3_5.dll");
    const std::wstring none = besideProgram(L"sldk_version_none.dll");
    const std::wstring copy = widenAnsi(folder / "copy of 1.2.3.4.dll");
    ASSERT_TRUE(CopyFileW(older.c_str(), copy.c_str(), TRUE));
    const std::wstring missing = widenAnsi(folder / "missing.dll");
    const std::wstring overlong = L"C:\\" + std::wstring(40000, L'x');

    const struct {
        const std::wstring* first;
        const std::wstring* second;
        jint expected;
    } pairs[] = {
        {&older, &newer, 2},    {&newer, &older, 1},    {&older, &older, 0},    {&older, &copy, 0},
        {&copy, &older, 0},     {&older, &none, 3},     {&none, &older, 3},     {&none, &none, 3},
        {&newer, &missing, 3},  {&missing, &newer, 3},  {&older, nullptr, 3},   {nullptr, &older, 3},
        {&overlong, &older, 3}, {&older, &overlong, 3},
    };
    const auto compare = boundNative<Compare>("FileVersion", "compare0");
    for (const auto& pair : pairs) {
        const auto argument = [](const std::wstring* path) { return path ? javaString(toU16(*path)) : nullptr; };
        SCOPED_TRACE(testing::Message() << (pair.first ? narrowAnsi(*pair.first).substr(0, 200) : "null") << " against "
                                        << (pair.second ? narrowAnsi(*pair.second).substr(0, 200) : "null"));
        EXPECT_EQ(call(compare, argument(pair.first), argument(pair.second)), pair.expected);
    }
    dropLocalReferences();
}

} // namespace
