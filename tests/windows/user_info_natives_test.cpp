// The Win32UserInfo natives in-process under Wine. Wine implements tokens, SID conversion
// and the well-known account lookups for real, and those answers are checked against the
// system's own. Its account administration only pretends: NetUserAdd makes a user that
// exists inside the calling process alone, the local-group and LSA calls answer success
// without keeping anything, LogonUserW hands out no real token and there is no elevation
// prompt. Those natives are checked for their result texts only. Users carry the pid in
// their names and are deleted again; the elevated start runs the stand-in java.exe, which
// exits at once, and waits for it.
#include <windows.h>

#include <lm.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <jni.h>

#include <string>
#include <vector>

#include "launchcore/text.h"
#include "natives/windows/user_info.h"
#include "testing/natives_harness/natives_harness.h"
#include "testing/standin_runtime.h"
#include "testing/test_files.h"

using namespace natives_harness;

namespace {

using MemberOf = jboolean (*)(JNIEnv*, jobject, jint);
using ExecuteElevated = jboolean (*)(JNIEnv*, jobject, jstring, jstring, jstring, jint);
using ElevationType = jint (*)(JNIEnv*, jobject);
using AddUser = jstring (*)(JNIEnv*, jobject, jstring, jstring, jstring, jstring, jstring, jboolean, jboolean);
using DeleteNamed = jint (*)(JNIEnv*, jobject, jstring, jstring);
using AccountName = jstring (*)(JNIEnv*, jobject, jstring, jboolean);
using ProfileDirectory = jstring (*)(JNIEnv*, jobject, jstring, jstring);
using UserSid = jstring (*)(JNIEnv*, jobject);
using LsaRight = jboolean (*)(JNIEnv*, jobject, jstring, jstring, jboolean);

std::u16string u16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }
std::u16string u16(const std::string& text) { return std::u16string(text.begin(), text.end()); }
jstring text(const std::u16string& value) { return javaString(value); }

// The process token's answer, to hold the natives' against.
std::wstring processUserSid()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return L"";
    std::vector<BYTE> data(4096);
    DWORD size = 0;
    std::wstring result;
    LPWSTR sid = nullptr;
    if (GetTokenInformation(token, TokenUser, data.data(), static_cast<DWORD>(data.size()), &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(data.data())->User.Sid, &sid)) {
        result = sid;
        LocalFree(sid);
    }
    CloseHandle(token);
    return result;
}

bool tokenHasGroup(DWORD rid)
{
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID group = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, rid, 0, 0, 0, 0, 0, 0, &group))
        return false;
    BOOL member = FALSE;
    CheckTokenMembership(nullptr, group, &member);
    FreeSid(group);
    return member != FALSE;
}

// Busy blocks of the process heap, where LocalAlloc and the network buffers live.
size_t processHeapBlocks()
{
    PROCESS_HEAP_ENTRY entry{};
    size_t busy = 0;
    HeapLock(GetProcessHeap());
    while (HeapWalk(GetProcessHeap(), &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
            ++busy;
    HeapUnlock(GetProcessHeap());
    return busy;
}

// Handles this process holds, from the system's handle table: Wine's GetProcessHandleCount
// always answers 0.
size_t handleCount()
{
    struct HandleEntry {
        ULONG ownerPid;
        BYTE objectType;
        BYTE flags;
        USHORT value;
        void* object;
        ULONG access;
    };
    struct HandleTable {
        ULONG count;
        HandleEntry entries[1];
    };
    using Query = LONG(WINAPI*)(ULONG kind, void* buffer, ULONG size, ULONG* needed);
    const auto query =
        reinterpret_cast<Query>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation"));
    std::vector<BYTE> buffer(1 << 20);
    ULONG needed = 0;
    constexpr ULONG kSystemHandleInformation = 16;
    while (query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) != 0) {
        if (buffer.size() >= (64u << 20))
            return 0;
        buffer.resize(buffer.size() * 2);
    }
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    size_t own = 0;
    for (ULONG i = 0; i < table->count; ++i)
        own += table->entries[i].ownerPid == GetCurrentProcessId();
    return own;
}

class UserInfoNatives : public testing::Test {
protected:
    void SetUp() override { registerProgramNatives(); }
    void TearDown() override
    {
        for (const std::u16string& user : users_)
            call(boundNative<DeleteNamed>("Win32UserInfo", "deleteUser0"), nullptr, text(user));
        for (const std::u16string& group : groups_)
            call(boundNative<DeleteNamed>("Win32UserInfo", "deleteLocalGroup0"), nullptr, text(group));
        dropLocalReferences();
    }
    // A user name no other test run shares; deleted after the test.
    std::u16string uniqueUser(const char* tag)
    {
        users_.push_back(u16("sldk" + std::to_string(GetCurrentProcessId()) + tag));
        return users_.back();
    }
    std::u16string uniqueGroup()
    {
        groups_.push_back(u16("sldkg" + std::to_string(GetCurrentProcessId())));
        return groups_.back();
    }
    std::optional<std::u16string> accountName(const std::u16string& sid, bool nameOnly)
    {
        return textOf(call(boundNative<AccountName>("Win32UserInfo", "getAccountName0"), text(sid), nameOnly));
    }
    std::optional<std::u16string> profile(jstring sid)
    {
        return textOf(call(boundNative<ProfileDirectory>("Win32UserInfo", "getUserProfileDirectory0"), sid,
                           text(u"secret")));
    }
    std::optional<std::u16string> addUser(const std::u16string& name, jstring group, bool createGroup,
                                          bool failIfExists)
    {
        return textOf(call(boundNative<AddUser>("Win32UserInfo", "addUser0"), text(name), text(u"Pw-1234567"),
                           text(u"made by a test"), group, text(u"group comment"), createGroup, failIfExists));
    }

    std::vector<std::u16string> users_;
    std::vector<std::u16string> groups_;
};

TEST_F(UserInfoNatives, TokenAnswersMatchTheSystem)
{
    const std::wstring expected = processUserSid();
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(textOf(call(boundNative<UserSid>("Win32UserInfo", "getUserSid0"))), u16(expected));

    const DWORD rids[] = {DOMAIN_ALIAS_RID_ADMINS, DOMAIN_ALIAS_RID_USERS, DOMAIN_ALIAS_RID_GUESTS, 12345};
    for (const DWORD rid : rids) {
        SCOPED_TRACE(rid);
        EXPECT_EQ(call(boundNative<MemberOf>("Win32UserInfo", "isMemberOfGroup0"), static_cast<jint>(rid)) != 0,
                  tokenHasGroup(rid));
    }

    const jint elevation = call(boundNative<ElevationType>("Win32UserInfo", "getElevationType0"));
    EXPECT_GE(elevation, 1);
    EXPECT_LE(elevation, 3);
}

// A thread acting through a token of its own is answered from that token: here the process
// token with Administrators made deny-only, which no longer counts as membership.
TEST_F(UserInfoNatives, ImpersonatingThreadAnswersThroughItsOwnToken)
{
    ASSERT_TRUE(tokenHasGroup(DOMAIN_ALIAS_RID_ADMINS)); // Wine's user is an administrator
    HANDLE process = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &process));
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                         0, &admins));
    SID_AND_ATTRIBUTES disabled{admins, 0};
    HANDLE restricted = nullptr;
    HANDLE impersonation = nullptr;
    ASSERT_TRUE(CreateRestrictedToken(process, 0, 1, &disabled, 0, nullptr, 0, nullptr, &restricted));
    ASSERT_TRUE(DuplicateTokenEx(restricted, TOKEN_IMPERSONATE | TOKEN_QUERY, nullptr, SecurityImpersonation,
                                 TokenImpersonation, &impersonation));
    ASSERT_TRUE(SetThreadToken(nullptr, impersonation));
    const jboolean admin = call(boundNative<MemberOf>("Win32UserInfo", "isMemberOfGroup0"), 544);
    const jboolean user = call(boundNative<MemberOf>("Win32UserInfo", "isMemberOfGroup0"), 545);
    const auto sid = textOf(call(boundNative<UserSid>("Win32UserInfo", "getUserSid0")));
    SetThreadToken(nullptr, nullptr);
    CloseHandle(impersonation);
    CloseHandle(restricted);
    CloseHandle(process);
    FreeSid(admins);
    EXPECT_FALSE(admin);
    EXPECT_EQ(user != 0, tokenHasGroup(DOMAIN_ALIAS_RID_USERS));
    EXPECT_EQ(sid, u16(processUserSid()));
    EXPECT_TRUE(call(boundNative<MemberOf>("Win32UserInfo", "isMemberOfGroup0"), 544));
}

TEST_F(UserInfoNatives, AccountNamesOfSids)
{
    const std::u16string user = u16(processUserSid());
    const struct {
        std::u16string sid;
        bool nameOnly;
        std::u16string name;
    } names[] = {
        {u"S-1-5-18", false, u"NT AUTHORITY\\System"},
        {u"S-1-5-19", true, u"NT AUTHORITY\\LocalService"},
        {u"S-1-5-20", false, u"NT AUTHORITY\\NetworkService"},
        {u"S-1-5-32-544", false, u".\\Administrators"},
        {u"S-1-5-32-544", true, u"Administrators"},
        {u"S-1-5-32-545", false, u".\\Users"},
        {u"not a sid", false, u" 1337"},
        {u"S-1-5-21-1-2-3-4242", false, u" 1332"},
    };
    for (const auto& entry : names) {
        SCOPED_TRACE(toUtf8(entry.sid));
        EXPECT_EQ(accountName(entry.sid, entry.nameOnly), entry.name);
    }

    // The current user is named in its machine's domain.
    const std::optional<std::u16string> qualified = accountName(user, false);
    const std::optional<std::u16string> plain = accountName(user, true);
    ASSERT_TRUE(qualified && plain);
    ASSERT_FALSE(plain->empty());
    EXPECT_NE(plain->front(), u' ');
    EXPECT_GT(qualified->size(), plain->size() + 1);
    EXPECT_EQ(qualified->substr(qualified->size() - plain->size() - 1), u"\\" + *plain);

    EXPECT_EQ(textOf(call(boundNative<AccountName>("Win32UserInfo", "getAccountName0"), nullptr, false)), u" 87");
}

TEST_F(UserInfoNatives, ProfileDirectoryErrorTexts)
{
    for (const char16_t* service : {u"S-1-5-18", u"S-1-5-19", u"S-1-5-20"})
        EXPECT_EQ(profile(text(service)), u" no user account");
    EXPECT_EQ(profile(text(u"S-1-5-x")), u" could not convert sid 1337");
    EXPECT_EQ(profile(text(u"S-1-5-21-1-2-3-4242")), u" could not look up account name 1332");
    // Wine's LogonUserW accepts any password with a token that is no token.
    EXPECT_EQ(profile(text(u16(processUserSid()))), u" could not get user profile dir 6");

    // Without the profile library the native must not look its function up elsewhere.
    const ProfileLibraryLookup previous = replaceProfileLibraryLookup([](const wchar_t*) -> HMODULE {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    });
    const auto refused = profile(text(u16(processUserSid())));
    replaceProfileLibraryLookup(previous);
    EXPECT_EQ(refused, u" could not load library 126");
}

// Wine's NetUserGetInfo lacks level 23, so a user it makes ends at the lookup step, and its
// local-group calls succeed without any group existing: the texts of those steps are what
// can be seen here. The too-long name and the missing name fail before anything is made.
TEST_F(UserInfoNatives, AddUserReportsTheStepThatEnded)
{
    const std::u16string group = uniqueGroup();
    const struct {
        std::u16string user;
        jstring group;
        bool createGroup;
        bool failIfExists;
        std::u16string result;
    } cases[] = {
        {uniqueUser("a"), nullptr, false, false, u"3 2140"},
        {uniqueUser("b"), text(group), true, true, u"3 2140"},
        {uniqueUser("c"), text(group), false, false, u"3 2140"},
        {uniqueUser("d"), text(u""), true, true, u"3 2140"},
        {uniqueUser("-name-longer-than-twenty"), nullptr, false, false, u"2 2202 0"},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(toUtf8(entry.user));
        EXPECT_EQ(addUser(entry.user, entry.group, entry.createGroup, entry.failIfExists), entry.result);
    }
    EXPECT_EQ(textOf(call(boundNative<AddUser>("Win32UserInfo", "addUser0"), nullptr, text(u"Pw-1234567"), nullptr,
                          text(group), nullptr, true, false)),
              u"2 87 1");
}

TEST_F(UserInfoNatives, DeletionsPassTheStatusOn)
{
    const DeleteNamed deleteUser = boundNative<DeleteNamed>("Win32UserInfo", "deleteUser0");
    const std::u16string user = uniqueUser("x");
    ASSERT_EQ(addUser(user, nullptr, false, false), u"3 2140"); // made, see above
    EXPECT_EQ(call(deleteUser, nullptr, text(user)), NERR_Success);
    EXPECT_EQ(call(deleteUser, nullptr, text(user)), NERR_UserNotFound);
    EXPECT_EQ(call(deleteUser, nullptr, nullptr), ERROR_INVALID_PARAMETER);
    // Wine keeps no groups and reports every deletion done.
    EXPECT_EQ(call(boundNative<DeleteNamed>("Win32UserInfo", "deleteLocalGroup0"), nullptr, text(uniqueGroup())),
              NERR_Success);
    EXPECT_EQ(call(boundNative<DeleteNamed>("Win32UserInfo", "deleteLocalGroup0"), nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
}

// Wine's LSA answers success and keeps nothing. The SID is the test's own with no account
// behind it, and removing all its rights takes away what adding gave it.
TEST_F(UserInfoNatives, LsaRightsByNameOrSid)
{
    const LsaRight right = boundNative<LsaRight>("Win32UserInfo", "setLsaAccountRight0");
    const std::u16string pid = u16(std::to_string(GetCurrentProcessId()));
    const std::u16string sid = u"S-1-5-21-" + pid + u"-1-1-4242";
    EXPECT_TRUE(call(right, text(sid), text(u"SeServiceLogonRight"), true));
    EXPECT_TRUE(call(right, text(sid), nullptr, false));
    EXPECT_FALSE(call(right, text(u"sldk-nobody-" + pid), text(u"SeServiceLogonRight"), true));
    EXPECT_FALSE(call(right, nullptr, text(u"SeServiceLogonRight"), true));
    EXPECT_FALSE(call(right, text(sid), text(std::u16string(40000, u'R')), true));
}

TEST_F(UserInfoNatives, RepeatedCallsLeaveNoHandlesOrBuffers)
{
    const std::u16string user = u16(processUserSid());
    const std::u16string ownSid = u"S-1-5-21-" + u16(std::to_string(GetCurrentProcessId())) + u"-1-1-4242";
    auto round = [&] {
        call(boundNative<MemberOf>("Win32UserInfo", "isMemberOfGroup0"), 544);
        call(boundNative<UserSid>("Win32UserInfo", "getUserSid0"));
        call(boundNative<ElevationType>("Win32UserInfo", "getElevationType0"));
        accountName(u"S-1-5-32-544", false);
        accountName(user, false);
        profile(text(u"S-1-5-21-1-2-3-4242"));
        profile(text(user));
        call(boundNative<LsaRight>("Win32UserInfo", "setLsaAccountRight0"), text(ownSid), nullptr, false);
        // The group's information is read and freed; the name is refused before a user is made.
        addUser(u"sldk-name-longer-than-twenty", text(u"Users"), false, false);
        dropLocalReferences();
    };
    for (int i = 0; i < 20; ++i)
        round();
    const size_t handles = handleCount();
    ASSERT_GT(handles, 0u);
    const size_t blocks = processHeapBlocks();
    for (int i = 0; i < 1000; ++i)
        round();
    EXPECT_LE(handleCount(), handles + 10);
    EXPECT_LE(processHeapBlocks(), blocks + 100);
}

TEST_F(UserInfoNatives, ElevatedStartRunsTheProgramAndWaitsForNothing)
{
    const ExecuteElevated execute = boundNative<ExecuteElevated>("Win32UserInfo", "executeElevated0");
    EXPECT_FALSE(call(execute, nullptr, nullptr, nullptr, SW_HIDE));
    TemporaryFolder folder("user_info_elevated");
    EXPECT_FALSE(call(execute, text(u16(folder / "missing.exe")), nullptr, nullptr, SW_HIDE));

    const std::string runs = folder / "runs.txt";
    SetEnvironmentVariableA("SLDK_JAVA_RUNS", runs.c_str());
    const std::string java = standinDirectory() + "\\java.exe";
    const jboolean started = call(execute, text(u16(java)), text(u"-version"), text(u16(folder.path())), SW_HIDE);
    SetEnvironmentVariableA("SLDK_JAVA_RUNS", nullptr);
    ASSERT_TRUE(started);
    // The start does not wait: the test waits for the run's record and for the process end.
    for (int i = 0; i < 200 && readTextFile(runs).empty(); ++i)
        Sleep(50);
    EXPECT_NE(readTextFile(runs).find("-version"), std::string::npos);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{sizeof entry};
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ParentProcessID == GetCurrentProcessId() && _wcsicmp(entry.szExeFile, L"java.exe") == 0)
            if (HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
                EXPECT_EQ(WaitForSingleObject(child, 30000), WAIT_OBJECT_0);
                CloseHandle(child);
            }
    CloseHandle(snapshot);
}

// A JNI call that fails ends the native with its failure value and the exception pending.
TEST_F(UserInfoNatives, FailedStringCopyEndsEachNative)
{
    failCall("GetStringChars", 0);
    EXPECT_EQ(addUser(u"x", nullptr, false, false), std::nullopt);
    clearException();
    failCall("GetStringChars", 1);
    EXPECT_FALSE(call(boundNative<LsaRight>("Win32UserInfo", "setLsaAccountRight0"), text(u"S-1-5-32-544"),
                      text(u"SeServiceLogonRight"), true));
    clearException();
    failCall("GetStringChars", 0);
    EXPECT_EQ(accountName(u"S-1-5-32-544", false), std::nullopt);
    clearException();
    failCall("GetStringChars", 1);
    EXPECT_EQ(profile(text(u"S-1-5-18")), std::nullopt);
    clearException();
    failCall("GetStringChars", 2);
    EXPECT_FALSE(call(boundNative<ExecuteElevated>("Win32UserInfo", "executeElevated0"), text(u"a.exe"), text(u""),
                      text(u""), SW_HIDE));
    clearException();
}

} // namespace
