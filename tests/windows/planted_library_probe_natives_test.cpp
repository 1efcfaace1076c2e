// Calls, once each, the natives that bind system libraries at run time (version.dll,
// winhttp, mpr, shfolder, ...). On its own it checks that they answer; the DLL planting
// scenario runs this program from a folder holding planted copies of those libraries,
// where none of the copies may be loaded.
#include <windows.h>

#include <gtest/gtest.h>

#include <jni.h>

#include <string>

#include "testing/natives_harness/natives_harness.h"

using namespace natives_harness;

namespace {

std::u16string u16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

} // namespace

TEST(PlantedLibraryProbe, NativesThatBindSystemLibrariesAnswer)
{
    registerProgramNatives();
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    const jstring kernel = javaString(u16(std::wstring(system) + L"\\kernel32.dll"));

    using Compare = jint (*)(JNIEnv*, jobject, jstring, jstring);
    EXPECT_EQ(call(boundNative<Compare>("FileVersion", "compare0"), kernel, kernel), 0) << "version.dll";

    using LoadFunctions = jboolean (*)(JNIEnv*, jobject);
    EXPECT_TRUE(call(boundNative<LoadFunctions>("Win32Proxy", "loadFunctions0"))) << "winhttp.dll";
    using ProxyConfig = jint (*)(JNIEnv*, jobject, jobjectArray);
    call(boundNative<ProxyConfig>("Win32Proxy", "getIEConfig0"), stringArray({std::nullopt, std::nullopt,
                                                                              std::nullopt, std::nullopt}));

    using SpecialFolder = jstring (*)(JNIEnv*, jobject, jint, jboolean);
    EXPECT_TRUE(textOf(call(boundNative<SpecialFolder>("FolderInfo", "getSpecialFolder0"), 26, JNI_FALSE)))
        << "shfolder.dll";
    using PathText = jstring (*)(JNIEnv*, jobject, jstring);
    EXPECT_TRUE(textOf(call(boundNative<PathText>("FolderInfo", "getUniversalPathName0"), javaString(u"C:\\"))))
        << "mpr.dll";
    using DeleteAccount = jint (*)(JNIEnv*, jobject, jstring, jstring);
    const std::u16string missingUser = u"sldk-no-user-" + u16(std::to_wstring(GetCurrentProcessId()));
    EXPECT_NE(call(boundNative<DeleteAccount>("Win32UserInfo", "deleteUser0"), nullptr, javaString(missingUser)), 0)
        << "netapi32.dll";
    dropLocalReferences();
}
