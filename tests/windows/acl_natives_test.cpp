// ACLHandling.addACE in-process on a file and a folder the test makes. Wine reports success
// for SetNamedSecurityInfo without keeping the ACL, so the DACL the native writes is checked
// through its security layer, with a recorder in place of the system's calls.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <jni.h>

#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/base/text_conversion.h"
#include "natives/windows/acl_handling.h"
#include "testing/natives_harness/natives_harness.h"
#include "testing/test_files.h"

using namespace natives_harness;

namespace {

const struct {
    jint kind;
    const char16_t* account;
    const wchar_t* sid;
    bool rights[4]; // read, write, execute, all
    ACCESS_MASK mask;
} kGrants[] = {
    {1, nullptr, L"S-1-5-11", {true, false, false, false}, GENERIC_READ},
    {3, u"S-1-5-32-545", L"S-1-5-32-545", {true, false, true, false}, GENERIC_READ | GENERIC_EXECUTE},
    {3, u"Users", L"S-1-5-32-545", {false, true, false, false}, GENERIC_WRITE},
    {5, nullptr, L"S-1-5-32-547", {false, false, false, true}, GENERIC_ALL},
    {0, nullptr, L"S-1-1-0", {true, true, true, true}, 0xf0000000},
};

struct Recorder {
    int reads = 0;
    int writes = 0;
    DWORD readResult = ERROR_SUCCESS;
    DWORD writeResult = ERROR_SUCCESS;
    std::wstring name;
    SE_OBJECT_TYPE type = SE_UNKNOWN_OBJECT_TYPE;
    std::vector<BYTE> dacl;
} g_recorder;

// Every object holds full access for SYSTEM and Administrators before the grant.
DWORD WINAPI recordedRead(LPCWSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL* dacl, PACL*,
                          PSECURITY_DESCRIPTOR* descriptor)
{
    ++g_recorder.reads;
    BOOL present = FALSE, defaulted = FALSE;
    if (g_recorder.readResult == ERROR_SUCCESS &&
        (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1,
                                                               descriptor, nullptr) ||
         !GetSecurityDescriptorDacl(*descriptor, &present, dacl, &defaulted)))
        return GetLastError();
    return g_recorder.readResult;
}

DWORD WINAPI recordedWrite(LPWSTR name, SE_OBJECT_TYPE type, SECURITY_INFORMATION, PSID, PSID, PACL dacl, PACL)
{
    ++g_recorder.writes;
    g_recorder.name = name;
    g_recorder.type = type;
    g_recorder.dacl.assign(reinterpret_cast<BYTE*>(dacl), reinterpret_cast<BYTE*>(dacl) + (dacl ? dacl->AclSize : 0));
    return g_recorder.writeResult;
}

// The mask and flags of the SID's allowing entry.
std::optional<std::pair<ACCESS_MASK, BYTE>> allowed(const ACL* acl, const wchar_t* sidText)
{
    unique_local_mem sid;
    if (!acl || !ConvertStringSidToSidW(sidText, reinterpret_cast<PSID*>(sid.put())))
        return std::nullopt;
    for (DWORD index = 0; index < acl->AceCount; ++index) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (GetAce(const_cast<ACL*>(acl), index, reinterpret_cast<void**>(&ace)) &&
            ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(&ace->SidStart, sid.get()))
            return std::make_pair(ace->Mask, ace->Header.AceFlags);
    }
    return std::nullopt;
}

class AclNatives : public testing::Test {
protected:
    void SetUp() override
    {
        registerProgramNatives();
        ASSERT_TRUE(writeTextFile(file_, "x"));
        ASSERT_TRUE(CreateDirectoryW(directory_.c_str(), nullptr));
    }
    void TearDown() override
    {
        if (recording_)
            replaceSecurityInfoCalls(real_);
        dropLocalReferences();
    }
    void record()
    {
        g_recorder = Recorder();
        real_ = replaceSecurityInfoCalls({&recordedRead, &recordedWrite});
        recording_ = true;
    }
    bool addAce(const std::wstring* path, bool registryKey, const bool rights[4], jint kind, const char16_t* account)
    {
        using Native = jboolean (*)(JNIEnv*, jobject, jstring, jboolean, jboolean, jboolean, jboolean, jboolean, jint,
                                    jstring);
        return call(boundNative<Native>("ACLHandling", "addACE"), path ? javaString(toU16(*path)) : nullptr,
                    registryKey, rights[0], rights[1], rights[2], rights[3], kind,
                    account ? javaString(account) : nullptr);
    }

    TemporaryFolder folder_{"sldk_acl"};
    std::wstring file_ = widenAnsi(folder_ / "file.txt");
    std::wstring directory_ = widenAnsi(folder_ / "folder");
    SecurityInfoCalls real_{};
    bool recording_ = false;
};

TEST_F(AclNatives, GrantsEachTrusteeOnFilesAndFoldersThroughTheSystem)
{
    bool kept = false;
    for (const auto& grant : kGrants)
        for (const std::wstring* path : {&file_, &directory_}) {
            ASSERT_TRUE(addAce(path, false, grant.rights, grant.kind, grant.account)) << narrowAnsi(grant.sid);
            PACL dacl = nullptr;
            unique_local_mem descriptor;
            ASSERT_EQ(GetNamedSecurityInfoW(path->c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                            &dacl, nullptr, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put())),
                      ERROR_SUCCESS);
            const auto entry = allowed(dacl, grant.sid);
            kept = kept || (entry && entry->first == grant.mask && entry->second == 3);
        }
    if (!kept)
        std::cout << "The system kept none of the DACLs written (Wine does not keep them); the recorded layer "
                     "checks what the native writes.\n";
}

TEST_F(AclNatives, MergesOneInheritableGrantIntoTheExistingDacl)
{
    record();
    std::wstring key = L"CURRENT_USER\\Software\\sldk-tests-" + std::to_wstring(GetCurrentProcessId());
    for (const auto& grant : kGrants)
        for (const std::wstring* path : {&file_, &directory_, &key}) {
            SCOPED_TRACE(narrowAnsi(std::wstring(grant.sid) + L" on " + *path));
            ASSERT_TRUE(addAce(path, path == &key, grant.rights, grant.kind, grant.account));
            EXPECT_EQ(g_recorder.name, *path);
            EXPECT_EQ(g_recorder.type, path == &key ? SE_REGISTRY_KEY : SE_FILE_OBJECT);
            const ACL* dacl = reinterpret_cast<const ACL*>(g_recorder.dacl.data());
            ASSERT_EQ(dacl->AceCount, 3u);
            EXPECT_EQ(allowed(dacl, L"S-1-5-18"), std::make_pair(ACCESS_MASK{FILE_ALL_ACCESS}, BYTE{3}));
            EXPECT_EQ(allowed(dacl, L"S-1-5-32-544"), std::make_pair(ACCESS_MASK{FILE_ALL_ACCESS}, BYTE{3}));
            EXPECT_EQ(allowed(dacl, grant.sid),
                      std::make_pair(grant.mask, BYTE{OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE}));
        }
    EXPECT_EQ(g_recorder.writes, static_cast<int>(std::size(kGrants) * 3));
}

TEST_F(AclNatives, WritesNothingWhenTheDaclCannotBeReadOrTheTrusteeFound)
{
    const bool read[4] = {true, false, false, false};
    const std::wstring missing = file_ + L".missing";
    testing::internal::CaptureStdout();
    EXPECT_FALSE(addAce(&missing, false, read, 0, nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("GetNamedSecurityInfo Error ", 0), 0u);
    EXPECT_EQ(GetFileAttributesW(missing.c_str()), INVALID_FILE_ATTRIBUTES);

    record();
    g_recorder.readResult = ERROR_ACCESS_DENIED;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(addAce(&file_, false, read, 1, nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "GetNamedSecurityInfo Error 5 " + narrowAnsi(file_) + "\n");
    EXPECT_EQ(g_recorder.writes, 0);

    g_recorder = Recorder();
    g_recorder.writeResult = ERROR_ACCESS_DENIED;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(addAce(&directory_, false, read, 5, nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "SetNamedSecurityInfo Error 5\n");

    // A null path, an unknown account and a null account: nothing read, written or printed.
    g_recorder = Recorder();
    const std::u16string unknown = u"sldk-no-account-" + toU16(std::to_wstring(GetCurrentProcessId()));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(addAce(nullptr, false, read, 1, nullptr));
    EXPECT_FALSE(addAce(&file_, false, read, 3, unknown.c_str()));
    EXPECT_FALSE(addAce(&file_, false, read, 3, nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(g_recorder.reads + g_recorder.writes, 0);
}

} // namespace
