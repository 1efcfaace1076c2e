// The Win32UserInfo natives in-process under Wine. Wine implements tokens, SID conversion
// and the well-known account lookups for real, and those answers are held against the
// system's own. Its account administration only pretends: NetUserAdd makes a user that
// exists inside the calling process alone (and NetUserGetInfo lacks the level that gives
// its SID), the local-group and LSA calls answer success without keeping anything,
// LogonUserW hands out no real token, and there is no elevation prompt. There only the
// result texts are checked. Users and groups carry the pid in their names and are deleted
// again; the elevated start runs the stand-in java.exe, which exits at once, and waits for it.
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
using Execute = jboolean (*)(JNIEnv*, jobject, jstring, jstring, jstring, jint);
using NoArguments = jstring (*)(JNIEnv*, jobject);
using AddUser = jstring (*)(JNIEnv*, jobject, jstring, jstring, jstring, jstring, jstring, jboolean, jboolean);
using Delete = jint (*)(JNIEnv*, jobject, jstring, jstring);
using LsaRight = jboolean (*)(JNIEnv*, jobject, jstring, jstring, jboolean);
using AccountName = jstring (*)(JNIEnv*, jobject, jstring, jboolean);
using Profile = jstring (*)(JNIEnv*, jobject, jstring, jstring);
using Elevation = jint (*)(JNIEnv*, jobject);

template <typename Function>
Function native(const char* method)
{
    return boundNative<Function>("Win32UserInfo", method);
}
std::u16string u16(const std::string& text) { return std::u16string(text.begin(), text.end()); }
jstring text(const std::u16string& value) { return javaString(value); }
const std::u16string kPid = u16(std::to_string(GetCurrentProcessId()));
// A SID no account has, so that rights given to it harm nobody.
const std::u16string kOwnSid = u"S-1-5-21-" + kPid + u"-1-1-4242";

std::u16string processUserSid()
{
    HANDLE token = nullptr;
    std::vector<BYTE> data(4096);
    DWORD size = 0;
    LPWSTR sid = nullptr;
    std::u16string result;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
        GetTokenInformation(token, TokenUser, data.data(), 4096, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(data.data())->User.Sid, &sid))
        result = reinterpret_cast<const char16_t*>(sid);
    LocalFree(sid);
    CloseHandle(token);
    return result;
}

PSID builtinGroup(DWORD rid)
{
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID group = nullptr;
    AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, rid, 0, 0, 0, 0, 0, 0, &group);
    return group;
}

bool processHasGroup(DWORD rid)
{
    PSID group = builtinGroup(rid);
    BOOL member = FALSE;
    CheckTokenMembership(nullptr, group, &member);
    FreeSid(group);
    return member != FALSE;
}

// Busy blocks of the process heap, where LocalAlloc and the network buffers live.
size_t heapBlocks()
{
    PROCESS_HEAP_ENTRY entry{};
    size_t busy = 0;
    while (HeapWalk(GetProcessHeap(), &entry))
        busy += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0;
    return busy;
}

class UserInfoNatives : public testing::Test {
protected:
    void SetUp() override { registerProgramNatives(); }
    void TearDown() override
    {
        for (const std::u16string& user : users_)
            call(native<Delete>("deleteUser0"), nullptr, text(user));
        call(native<Delete>("deleteLocalGroup0"), nullptr, text(group_));
        dropLocalReferences();
    }
    std::u16string uniqueUser(const char* tag) { return users_.emplace_back(u"sldk" + kPid + u16(tag)); }
    std::optional<std::u16string> accountName(const std::u16string& sid, bool nameOnly)
    {
        return textOf(call(native<AccountName>("getAccountName0"), text(sid), nameOnly));
    }
    std::optional<std::u16string> profile(jstring sid)
    {
        return textOf(call(native<Profile>("getUserProfileDirectory0"), sid, text(u"secret")));
    }
    std::optional<std::u16string> addUser(jstring name, jstring group, bool createGroup, bool failIfExists)
    {
        return textOf(call(native<AddUser>("addUser0"), name, text(u"Pw-1234567"), text(u"by a test"), group,
                           text(u"group comment"), createGroup, failIfExists));
    }
    bool memberOf(jint rid) { return call(native<MemberOf>("isMemberOfGroup0"), rid) != 0; }
    std::optional<std::u16string> userSid() { return textOf(call(native<NoArguments>("getUserSid0"))); }

    std::vector<std::u16string> users_;
    const std::u16string group_ = u"sldkg" + kPid;
};

// The thread is answered from its own token when it has one: below, the process token with
// Administrators made deny-only, which no longer counts.
TEST_F(UserInfoNatives, TokenAnswersFollowTheCallingThread)
{
    EXPECT_EQ(userSid(), processUserSid());
    for (const DWORD rid : {544ul, 545ul, 546ul, 12345ul})
        EXPECT_EQ(memberOf(static_cast<jint>(rid)), processHasGroup(rid)) << rid;
    const jint elevation = call(native<Elevation>("getElevationType0"));
    EXPECT_TRUE(elevation >= 1 && elevation <= 3) << elevation;

    ASSERT_TRUE(processHasGroup(DOMAIN_ALIAS_RID_ADMINS));
    HANDLE process = nullptr, restricted = nullptr, impersonation = nullptr;
    SID_AND_ATTRIBUTES admins{builtinGroup(DOMAIN_ALIAS_RID_ADMINS), 0};
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &process));
    ASSERT_TRUE(CreateRestrictedToken(process, 0, 1, &admins, 0, nullptr, 0, nullptr, &restricted));
    ASSERT_TRUE(DuplicateTokenEx(restricted, TOKEN_IMPERSONATE | TOKEN_QUERY, nullptr, SecurityImpersonation,
                                 TokenImpersonation, &impersonation));
    ASSERT_TRUE(SetThreadToken(nullptr, impersonation));
    const bool admin = memberOf(544), user = memberOf(545);
    const auto sid = userSid();
    SetThreadToken(nullptr, nullptr);
    for (HANDLE handle : {impersonation, restricted, process})
        CloseHandle(handle);
    FreeSid(admins.Sid);
    EXPECT_FALSE(admin);
    EXPECT_EQ(user, processHasGroup(DOMAIN_ALIAS_RID_USERS));
    EXPECT_EQ(sid, processUserSid());
}

TEST_F(UserInfoNatives, AccountNamesOfSids)
{
    const std::pair<std::u16string, std::u16string> qualified[] = {
        {u"S-1-5-18", u"NT AUTHORITY\\System"},         {u"S-1-5-19", u"NT AUTHORITY\\LocalService"},
        {u"S-1-5-20", u"NT AUTHORITY\\NetworkService"}, {u"S-1-5-32-544", u".\\Administrators"},
        {u"not a sid", u" 1337"},                       {u"S-1-5-21-1-2-3-4242", u" 1332"},
    };
    for (const auto& [sid, name] : qualified)
        EXPECT_EQ(accountName(sid, false), name) << toUtf8(sid);
    EXPECT_EQ(accountName(u"S-1-5-32-545", true), u"Users");
    // The current user is named with its machine's domain.
    const auto full = accountName(processUserSid(), false);
    const auto plain = accountName(processUserSid(), true);
    ASSERT_TRUE(full && plain && !plain->empty() && full->size() > plain->size() + 1);
    EXPECT_EQ(full->substr(full->size() - plain->size() - 1), u"\\" + *plain);
    EXPECT_NE(full->front(), u'.');
}

TEST_F(UserInfoNatives, ProfileDirectoryErrorTexts)
{
    for (const char16_t* service : {u"S-1-5-18", u"S-1-5-19", u"S-1-5-20"})
        EXPECT_EQ(profile(text(service)), u" no user account");
    EXPECT_EQ(profile(text(u"S-1-5-x")), u" could not convert sid 1337");
    EXPECT_EQ(profile(text(u"S-1-5-21-1-2-3-4242")), u" could not look up account name 1332");
    EXPECT_EQ(profile(text(processUserSid())), u" could not get user profile dir 6"); // Wine's no-token
    // Without the profile library the function must not be looked up in the executable.
    const ProfileLibraryLookup previous = replaceProfileLibraryLookup([](const wchar_t*) -> HMODULE {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    });
    const auto refused = profile(text(processUserSid()));
    replaceProfileLibraryLookup(previous);
    EXPECT_EQ(refused, u" could not load library 126");
}

// Every user Wine makes ends at the SID lookup ("3 2140"), after the group steps passed.
TEST_F(UserInfoNatives, AddUserAndDeletionsReportTheirSteps)
{
    const struct {
        jstring user;
        jstring group;
        bool createGroup, failIfExists;
        std::u16string result;
    } cases[] = {
        {text(uniqueUser("a")), nullptr, false, false, u"3 2140"},
        {text(uniqueUser("b")), text(group_), true, true, u"3 2140"},
        {text(uniqueUser("c")), text(group_), false, false, u"3 2140"},
        {text(uniqueUser("d")), text(u""), true, true, u"3 2140"},
        {text(uniqueUser("-longer-than-twenty")), nullptr, false, false, u"2 2202 0"},
        {nullptr, text(group_), true, false, u"2 87 1"},
    };
    for (const auto& entry : cases)
        EXPECT_EQ(addUser(entry.user, entry.group, entry.createGroup, entry.failIfExists), entry.result);

    const Delete deleteUser = native<Delete>("deleteUser0");
    EXPECT_EQ(call(deleteUser, nullptr, text(users_[0])), NERR_Success);
    EXPECT_EQ(call(deleteUser, nullptr, text(users_[0])), NERR_UserNotFound);
    EXPECT_EQ(call(deleteUser, nullptr, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(call(native<Delete>("deleteLocalGroup0"), nullptr, nullptr), ERROR_INVALID_PARAMETER);
}

// Wine's LSA keeps nothing; on Windows removing all rights takes away what adding gave.
TEST_F(UserInfoNatives, LsaRightsByNameOrSid)
{
    const LsaRight right = native<LsaRight>("setLsaAccountRight0");
    EXPECT_TRUE(call(right, text(kOwnSid), text(u"SeServiceLogonRight"), true));
    EXPECT_TRUE(call(right, text(kOwnSid), nullptr, false));
    EXPECT_FALSE(call(right, text(u"sldk-nobody-" + kPid), text(u"SeServiceLogonRight"), true));
    EXPECT_FALSE(call(right, nullptr, text(u"SeServiceLogonRight"), true));
    EXPECT_FALSE(call(right, text(kOwnSid), text(std::u16string(40000, u'R')), true));
}

TEST_F(UserInfoNatives, RepeatedCallsLeaveNoHandlesOrBuffers)
{
    auto round = [&] {
        memberOf(544);
        userSid();
        call(native<Elevation>("getElevationType0"));
        accountName(processUserSid(), false);
        profile(text(u"S-1-5-21-1-2-3-4242"));
        profile(text(processUserSid()));
        call(native<LsaRight>("setLsaAccountRight0"), text(kOwnSid), nullptr, false);
        // The group's information is read and freed; the name is refused before a user is made.
        addUser(text(u"sldk-longer-than-twenty"), text(u"Users"), false, false);
        dropLocalReferences();
    };
    for (int i = 0; i < 20; ++i)
        round();
    const size_t handles = ownHandleCount(), blocks = heapBlocks();
    ASSERT_GT(handles, 0u);
    for (int i = 0; i < 1000; ++i)
        round();
    EXPECT_LE(ownHandleCount(), handles + 10);
    EXPECT_LE(heapBlocks(), blocks + 100);
}

TEST_F(UserInfoNatives, ElevatedStartRunsTheProgram)
{
    const Execute execute = native<Execute>("executeElevated0");
    TemporaryFolder folder("user_info_elevated");
    EXPECT_FALSE(call(execute, nullptr, nullptr, nullptr, SW_HIDE));
    EXPECT_FALSE(call(execute, text(u16(folder / "missing.exe")), nullptr, nullptr, SW_HIDE));

    const std::string runs = folder / "runs.txt";
    SetEnvironmentVariableA("SLDK_JAVA_RUNS", runs.c_str());
    const bool started = call(execute, text(u16(standinDirectory() + "\\java.exe")), text(u"-version"),
                              text(u16(folder.path())), SW_HIDE);
    SetEnvironmentVariableA("SLDK_JAVA_RUNS", nullptr);
    ASSERT_TRUE(started);
    // The start does not wait; the test waits for the run's record and for the child's end.
    for (int i = 0; i < 200 && readTextFile(runs).empty(); ++i)
        Sleep(50);
    EXPECT_NE(readTextFile(runs).find("-version"), std::string::npos);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{sizeof entry};
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (HANDLE child = entry.th32ParentProcessID == GetCurrentProcessId()
                               ? OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID)
                               : nullptr) {
            EXPECT_EQ(WaitForSingleObject(child, 30000), WAIT_OBJECT_0);
            CloseHandle(child);
        }
    CloseHandle(snapshot);
}

// A string copy that fails ends the native with its failure value, the exception pending
// and no JNI call after it (the harness fails the test otherwise).
TEST_F(UserInfoNatives, FailedStringCopyEndsTheNative)
{
    for (int copy = 0; copy < 5; ++copy) {
        failCall("GetStringChars", copy);
        EXPECT_EQ(addUser(text(u"x"), text(u"g"), false, false), std::nullopt) << copy;
        clearException();
    }
    failCall("GetStringChars", 1);
    EXPECT_FALSE(call(native<LsaRight>("setLsaAccountRight0"), text(kOwnSid), text(u"SeServiceLogonRight"), true));
    clearException();
    failCall("GetStringChars", 2);
    EXPECT_FALSE(call(native<Execute>("executeElevated0"), text(u"a.exe"), text(u""), text(u""), SW_HIDE));
    clearException();
}

} // namespace
