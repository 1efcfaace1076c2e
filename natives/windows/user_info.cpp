// The natives of the Win32UserInfo class: questions about the current user (group
// membership, elevation, SID), local account administration (users, groups, LSA rights),
// SIDs turned into account names, profile directories, and elevated starts. Every function
// beyond the executable's imports is bound at run time; a missing one makes the native
// answer its failure value.
#include "natives/windows/user_info.h"

#include <windows.h>

#include <lm.h>
#include <ntsecapi.h>
#include <sddl.h>
#include <userenv.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/base/late_binding.h"
#include "natives/user_account_texts.h"
#include "natives/windows/native_export.h"
#include "natives/windows/shell_binding.h"

namespace {

constexpr const wchar_t* kAdvapi = L"advapi32.dll";
constexpr const wchar_t* kNetapi = L"netapi32.dll";
constexpr DWORD kNameUnits = 8192;
constexpr DWORD kSidBytes = 8192;

std::atomic<ProfileLibraryLookup> g_profileLibraryLookup{&systemLibrary};

std::u16string_view u16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }

struct TokenFunctions {
    decltype(&AllocateAndInitializeSid) allocateSid = nullptr;
    decltype(&EqualSid) equalSid = nullptr;
    decltype(&GetTokenInformation) information = nullptr;
    decltype(&OpenProcessToken) openProcessToken = nullptr;
    decltype(&OpenThreadToken) openThreadToken = nullptr;
    bool ready() const { return allocateSid && equalSid && information && openProcessToken && openThreadToken; }
};

const TokenFunctions& tokenFunctions()
{
    static const TokenFunctions functions = [] {
        TokenFunctions bound;
        bound.allocateSid = lateBound<decltype(bound.allocateSid)>(kAdvapi, "AllocateAndInitializeSid");
        bound.equalSid = lateBound<decltype(bound.equalSid)>(kAdvapi, "EqualSid");
        bound.information = lateBound<decltype(bound.information)>(kAdvapi, "GetTokenInformation");
        bound.openProcessToken = lateBound<decltype(bound.openProcessToken)>(kAdvapi, "OpenProcessToken");
        bound.openThreadToken = lateBound<decltype(bound.openThreadToken)>(kAdvapi, "OpenThreadToken");
        return bound;
    }();
    return functions;
}

// The identity the calling thread acts as: its impersonation token, else the process's.
unique_handle currentUserToken(const TokenFunctions& token)
{
    HANDLE raw = nullptr;
    if (token.openThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &raw))
        return unique_handle(raw);
    // Only a thread without a token of its own falls back; any other failure would answer
    // for an identity the thread does not act as.
    if (GetLastError() != ERROR_NO_TOKEN)
        return {};
    raw = nullptr;
    if (token.openProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        return unique_handle(raw);
    return {};
}

enum class TokenRead { Done, SizeUnknown, ReadFailed };

TokenRead readTokenInformation(const TokenFunctions& token, HANDLE handle, TOKEN_INFORMATION_CLASS kind,
                               std::vector<BYTE>& data)
{
    DWORD size = 0;
    if (!token.information(handle, kind, nullptr, 0, &size) && GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return TokenRead::SizeUnknown;
    if (size == 0)
        return TokenRead::ReadFailed;
    data.assign(size, 0);
    return token.information(handle, kind, data.data(), size, &size) ? TokenRead::Done : TokenRead::ReadFailed;
}

using SidToText = decltype(&ConvertSidToStringSidW);
using TextToSid = decltype(&ConvertStringSidToSidW);

std::optional<std::u16string> sidText(SidToText convert, PSID sid)
{
    LPWSTR raw = nullptr;
    if (!convert(sid, &raw))
        return std::nullopt;
    const unique_local_mem owner(raw);
    return std::u16string(u16(raw));
}

struct AccountName {
    std::wstring name;
    std::wstring domain;
};

std::optional<AccountName> lookUpAccount(PSID sid)
{
    std::vector<wchar_t> name(kNameUnits);
    std::vector<wchar_t> domain(kNameUnits);
    DWORD nameSize = kNameUnits;
    DWORD domainSize = kNameUnits;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, sid, name.data(), &nameSize, domain.data(), &domainSize, &use))
        return std::nullopt;
    return AccountName{name.data(), domain.data()};
}

// The SID of an account name in the caller's buffer of kSidBytes; null when unknown.
PSID lookUpAccountSid(const wchar_t* account, std::vector<BYTE>& buffer)
{
    buffer.assign(kSidBytes, 0);
    std::vector<wchar_t> domain(kNameUnits);
    DWORD sidSize = kSidBytes;
    DWORD domainSize = kNameUnits;
    SID_NAME_USE use;
    if (!account || !LookupAccountNameW(nullptr, account, buffer.data(), &sidSize, domain.data(), &domainSize, &use))
        return nullptr;
    return buffer.data();
}

struct NetFunctions {
    decltype(&NetLocalGroupAdd) localGroupAdd = nullptr;
    decltype(&NetLocalGroupGetInfo) localGroupGetInfo = nullptr;
    decltype(&NetApiBufferFree) bufferFree = nullptr;
    decltype(&NetUserAdd) userAdd = nullptr;
    decltype(&NetUserGetInfo) userGetInfo = nullptr;
    decltype(&NetLocalGroupAddMembers) localGroupAddMembers = nullptr;
    bool ready() const
    {
        return localGroupAdd && localGroupGetInfo && bufferFree && userAdd && userGetInfo && localGroupAddMembers;
    }
};

NetFunctions netFunctions()
{
    NetFunctions bound;
    bound.localGroupAdd = lateBound<decltype(bound.localGroupAdd)>(kNetapi, "NetLocalGroupAdd");
    bound.localGroupGetInfo = lateBound<decltype(bound.localGroupGetInfo)>(kNetapi, "NetLocalGroupGetInfo");
    bound.bufferFree = lateBound<decltype(bound.bufferFree)>(kNetapi, "NetApiBufferFree");
    bound.userAdd = lateBound<decltype(bound.userAdd)>(kNetapi, "NetUserAdd");
    bound.userGetInfo = lateBound<decltype(bound.userGetInfo)>(kNetapi, "NetUserGetInfo");
    bound.localGroupAddMembers = lateBound<decltype(bound.localGroupAddMembers)>(kNetapi, "NetLocalGroupAddMembers");
    return bound;
}

struct NewUser {
    const wchar_t* name;
    const wchar_t* password;
    const wchar_t* comment;
    const wchar_t* group;
    const wchar_t* groupComment;
    bool createGroup;
    bool failIfGroupExists;
};

std::u16string createUser(const NetFunctions& net, SidToText convert, const NewUser& request)
{
    // A nameless user can never be made; refusing it first leaves no group behind for it.
    if (!request.name)
        return addUserFailureText(AddUserStep::CreateUser, ERROR_INVALID_PARAMETER, USER_NAME_PARMNUM);
    const bool withGroup = request.group && *request.group;
    bool groupCreated = false;
    if (withGroup && request.createGroup) {
        LOCALGROUP_INFO_1 group{const_cast<LPWSTR>(request.group), const_cast<LPWSTR>(request.groupComment)};
        const NET_API_STATUS status = net.localGroupAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&group), nullptr);
        switch (groupCreationOutcome(status, request.failIfGroupExists)) {
        case GroupCreation::Created: groupCreated = true; break;
        case GroupCreation::AlreadyThere: break;
        case GroupCreation::Failed: return addUserFailureText(AddUserStep::CreateGroup, status);
        }
    } else if (withGroup) {
        unique_net_buffer group;
        const NET_API_STATUS status =
            net.localGroupGetInfo(nullptr, request.group, 1, reinterpret_cast<LPBYTE*>(group.put()));
        if (status != NERR_Success)
            return addUserFailureText(AddUserStep::FindGroup, status);
    }

    // The password stays in the caller's copy, which is wiped when it is freed.
    USER_INFO_1 user{};
    user.usri1_name = const_cast<LPWSTR>(request.name);
    user.usri1_password = const_cast<LPWSTR>(request.password);
    user.usri1_priv = USER_PRIV_USER;
    user.usri1_comment = const_cast<LPWSTR>(request.comment);
    user.usri1_flags = UF_SCRIPT;
    DWORD faultyParameter = 0;
    NET_API_STATUS status = net.userAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&user), &faultyParameter);
    if (status != NERR_Success)
        return addUserFailureText(AddUserStep::CreateUser, status, faultyParameter);

    unique_net_buffer created;
    status = net.userGetInfo(nullptr, request.name, 23, reinterpret_cast<LPBYTE*>(created.put()));
    if (status != NERR_Success || !created)
        return addUserFailureText(AddUserStep::ReadUser, status);
    const PSID userSid = static_cast<const USER_INFO_23*>(created.get())->usri23_user_sid;

    if (withGroup) {
        LOCALGROUP_MEMBERS_INFO_0 member{userSid};
        status = net.localGroupAddMembers(nullptr, request.group, 0, reinterpret_cast<LPBYTE>(&member), 1);
        if (!joinedGroup(status))
            return addUserFailureText(AddUserStep::JoinGroup, status);
    }

    const std::optional<std::u16string> userText = sidText(convert, userSid);
    if (!userText)
        return addUserFailureText(AddUserStep::UserSidText, 0);
    std::optional<UserGroupPart> groupPart;
    std::vector<BYTE> groupSid;
    if (withGroup)
        if (const PSID sid = lookUpAccountSid(request.group, groupSid))
            if (std::optional<std::u16string> text = sidText(convert, sid))
                groupPart = UserGroupPart{std::move(*text), groupCreated};
    return addUserSuccessText(*userText, groupPart);
}

jint deleteNamed(JNIEnv* env, const char* function, jstring server, jstring name)
{
    using Delete = NET_API_STATUS(WINAPI*)(LPCWSTR server, LPCWSTR name);
    const auto remove = lateBound<Delete>(kNetapi, function);
    if (!remove)
        return -1;
    const JavaText serverName(env, server);
    if (!serverName.ok())
        return -1;
    const JavaText accountName(env, name);
    if (!accountName.ok())
        return -1;
    // A null server is the local machine; a null name names nothing to delete.
    if (accountName.isNull())
        return ERROR_INVALID_PARAMETER;
    return static_cast<jint>(remove(serverName.wide(), accountName.wide()));
}

jstring errorAnswer(JNIEnv* env, const char16_t* message, DWORD error)
{
    return newJavaString(env, withErrorCode(message, error));
}

} // namespace

ProfileLibraryLookup replaceProfileLibraryLookup(ProfileLibraryLookup lookup)
{
    return g_profileLibraryLookup.exchange(lookup);
}

// Every failure before the group list is read answers "member": the Java side then offers
// what an administrator would get rather than refusing it.
SLDK_NATIVE_EXPORT(jboolean, Win32UserInfo, isMemberOfGroup0)(JNIEnv*, jobject, jint relativeId)
{
    const TokenFunctions& token = tokenFunctions();
    if (!token.ready())
        return JNI_TRUE;
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    unique_sid group;
    if (!token.allocateSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, static_cast<DWORD>(relativeId), 0, 0, 0, 0,
                           0, 0, group.put()))
        return JNI_TRUE;
    const unique_handle user = currentUserToken(token);
    if (!user)
        return JNI_TRUE;
    std::vector<BYTE> data;
    switch (readTokenInformation(token, user.get(), TokenGroups, data)) {
    case TokenRead::SizeUnknown: return JNI_TRUE;
    case TokenRead::ReadFailed: return JNI_FALSE;
    case TokenRead::Done: break;
    }
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(data.data());
    const SID_AND_ATTRIBUTES* entries = groups->Groups;
    for (DWORD i = 0; i < groups->GroupCount; ++i)
        if (token.equalSid(entries[i].Sid, group.get()) &&
            (entries[i].Attributes & (SE_GROUP_ENABLED | SE_GROUP_USE_FOR_DENY_ONLY)) == SE_GROUP_ENABLED)
            return JNI_TRUE;
    return JNI_FALSE;
}

SLDK_NATIVE_EXPORT(jboolean, Win32UserInfo, executeElevated0)(JNIEnv* env, jobject, jstring file, jstring parameters,
                                                              jstring directory, jint show)
{
    // Mapped before the first elevated start, so that the consent path finds it loaded.
    static const HMODULE securitySupport = systemLibrary(L"sspicli.dll");
    (void)securitySupport;
    const JavaText program(env, file);
    if (!program.ok() || program.isNull())
        return JNI_FALSE;
    const JavaText arguments(env, parameters);
    if (!arguments.ok())
        return JNI_FALSE;
    const JavaText folder(env, directory);
    if (!folder.ok())
        return JNI_FALSE;
    const HINSTANCE result = shellExecute(shellBinding(), nullptr, L"runas", program.wide(), arguments.wide(),
                                          folder.wide(), static_cast<INT>(show));
    return toJavaBoolean(reinterpret_cast<INT_PTR>(result) > 32);
}

SLDK_NATIVE_EXPORT(jint, Win32UserInfo, getElevationType0)(JNIEnv*, jobject)
{
    const TokenFunctions& token = tokenFunctions();
    if (!token.ready())
        return 0;
    HANDLE raw = nullptr;
    if (!token.openProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        return 0;
    const unique_handle process(raw);
    TOKEN_ELEVATION_TYPE type{};
    DWORD size = 0;
    if (!token.information(process.get(), TokenElevationType, &type, sizeof type, &size))
        return 0;
    return static_cast<jint>(type);
}

SLDK_NATIVE_EXPORT(jstring, Win32UserInfo, addUser0)(JNIEnv* env, jobject, jstring name, jstring password,
                                                     jstring comment, jstring group, jstring groupComment,
                                                     jboolean createGroup, jboolean failIfGroupExists)
{
    const NetFunctions net = netFunctions();
    const auto convert = lateBound<SidToText>(kAdvapi, "ConvertSidToStringSidW");
    if (!net.ready() || !convert)
        return nullptr;
    // Each copy is checked before the next: after a failed one only the exception may be handled.
    const JavaText userName(env, name);
    if (!userName.ok())
        return nullptr;
    const JavaText secret(env, password);
    if (!secret.ok())
        return nullptr;
    const JavaText userComment(env, comment);
    if (!userComment.ok())
        return nullptr;
    const JavaText groupName(env, group);
    if (!groupName.ok())
        return nullptr;
    const JavaText groupText(env, groupComment);
    if (!groupText.ok())
        return nullptr;
    const NewUser request{userName.wide(),  secret.wide(),     userComment.wide(),          groupName.wide(),
                          groupText.wide(), createGroup != 0, failIfGroupExists != 0};
    return newJavaString(env, createUser(net, convert, request));
}

SLDK_NATIVE_EXPORT(jint, Win32UserInfo, deleteUser0)(JNIEnv* env, jobject, jstring server, jstring name)
{
    return deleteNamed(env, "NetUserDel", server, name);
}

SLDK_NATIVE_EXPORT(jint, Win32UserInfo, deleteLocalGroup0)(JNIEnv* env, jobject, jstring server, jstring name)
{
    return deleteNamed(env, "NetLocalGroupDel", server, name);
}

SLDK_NATIVE_EXPORT(jstring, Win32UserInfo, getAccountName0)(JNIEnv* env, jobject, jstring sidString,
                                                            jboolean nameOnly)
{
    const JavaText sid(env, sidString);
    if (!sid.ok())
        return nullptr;
    if (const std::optional<std::u16string> service = serviceAccountName(sid.view()))
        return newJavaString(env, *service);
    const auto convert = lateBound<TextToSid>(kAdvapi, "ConvertStringSidToSidW");
    if (!convert)
        return newJavaString(env, u"");
    unique_local_mem binary;
    if (!convert(sid.wide(), binary.put()))
        return errorAnswer(env, u" ", GetLastError());
    const std::optional<AccountName> account = lookUpAccount(binary.get());
    if (!account)
        return errorAnswer(env, u" ", GetLastError());
    return newJavaString(env, qualifiedAccountName(sid.view(), u16(account->domain.c_str()),
                                                   u16(account->name.c_str()), nameOnly != 0));
}

SLDK_NATIVE_EXPORT(jstring, Win32UserInfo, getUserProfileDirectory0)(JNIEnv* env, jobject, jstring sidString,
                                                                     jstring password)
{
    const JavaText sid(env, sidString);
    if (!sid.ok())
        return nullptr;
    const JavaText secret(env, password);
    if (!secret.ok())
        return nullptr;
    // Without the library the function lookup below would search the executable instead.
    const HMODULE userenv = g_profileLibraryLookup.load()(L"userenv.dll");
    if (!userenv || !systemLibrary(kAdvapi))
        return errorAnswer(env, u" could not load library ", GetLastError());
    if (serviceAccountName(sid.view()))
        return newJavaString(env, u" no user account");

    const auto convert = lateBound<TextToSid>(kAdvapi, "ConvertStringSidToSidW");
    const auto logOn = lateBound<decltype(&LogonUserW)>(kAdvapi, "LogonUserW");
    const auto profileDirectory =
        reinterpret_cast<decltype(&GetUserProfileDirectoryW)>(GetProcAddress(userenv, "GetUserProfileDirectoryW"));
    if (!convert || !logOn || !profileDirectory)
        return errorAnswer(env, u" could not get functions ", GetLastError());
    unique_local_mem binary;
    if (!convert(sid.wide(), binary.put()))
        return errorAnswer(env, u" could not convert sid ", GetLastError());
    const std::optional<AccountName> account = lookUpAccount(binary.get());
    if (!account)
        return errorAnswer(env, u" could not look up account name ", GetLastError());
    const std::u16string domain = logonDomain(sid.view(), u16(account->domain.c_str()));

    HANDLE raw = nullptr;
    if (!logOn(account->name.c_str(), reinterpret_cast<const wchar_t*>(domain.c_str()), secret.wide(),
               LOGON32_LOGON_NETWORK, LOGON32_PROVIDER_DEFAULT, &raw))
        return errorAnswer(env, u" could not get token ", GetLastError());
    const unique_handle logon(raw);
    std::vector<wchar_t> directory(kNameUnits);
    DWORD size = kNameUnits;
    if (!profileDirectory(logon.get(), directory.data(), &size))
        return errorAnswer(env, u" could not get user profile dir ", GetLastError());
    directory.back() = L'\0';
    return newStringUpToNul(env, directory.data());
}

SLDK_NATIVE_EXPORT(jstring, Win32UserInfo, getUserSid0)(JNIEnv* env, jobject)
{
    const TokenFunctions& token = tokenFunctions();
    const auto convert = lateBound<SidToText>(kAdvapi, "ConvertSidToStringSidW");
    if (!token.ready() || !convert)
        return nullptr;
    const unique_handle user = currentUserToken(token);
    if (!user)
        return nullptr;
    std::vector<BYTE> data;
    if (readTokenInformation(token, user.get(), TokenUser, data) != TokenRead::Done)
        return nullptr;
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(data.data())->User.Sid;
    const std::optional<std::u16string> text = sidText(convert, sid);
    return text ? newJavaString(env, *text) : nullptr;
}

SLDK_NATIVE_EXPORT(jboolean, Win32UserInfo, setLsaAccountRight0)(JNIEnv* env, jobject, jstring accountText,
                                                                 jstring rightText, jboolean add)
{
    const auto open = lateBound<decltype(&LsaOpenPolicy)>(kAdvapi, "LsaOpenPolicy");
    const auto addRights = lateBound<decltype(&LsaAddAccountRights)>(kAdvapi, "LsaAddAccountRights");
    const auto removeRights = lateBound<decltype(&LsaRemoveAccountRights)>(kAdvapi, "LsaRemoveAccountRights");
    // The policy's owner closes it through LsaClose; without it nothing is opened.
    if (!open || !addRights || !removeRights || !lateBound<decltype(&LsaClose)>(kAdvapi, "LsaClose"))
        return JNI_FALSE;
    const JavaText account(env, accountText);
    if (!account.ok())
        return JNI_FALSE;
    const JavaText right(env, rightText);
    if (!right.ok())
        return JNI_FALSE;
    // LSA strings count bytes in 16 bits; a longer right names nothing Windows knows.
    constexpr size_t kLongestRight = 0xffff / sizeof(wchar_t) - 1;
    if (right.view().size() > kLongestRight)
        return JNI_FALSE;

    // The account as a SID text first, else as a name; both conversions may be unavailable.
    unique_local_mem converted;
    std::vector<BYTE> lookedUp;
    PSID sid = nullptr;
    if (const auto convert = lateBound<TextToSid>(kAdvapi, "ConvertStringSidToSidW")) {
        if (account.wide() && convert(account.wide(), converted.put()))
            sid = converted.get();
        else
            sid = lookUpAccountSid(account.wide(), lookedUp);
    }
    if (!sid)
        return JNI_FALSE;

    LSA_OBJECT_ATTRIBUTES attributes{};
    unique_lsa_handle policy;
    if (open(nullptr, &attributes, POLICY_CREATE_ACCOUNT | POLICY_LOOKUP_NAMES, policy.put()) != 0)
        return JNI_FALSE;
    const size_t units = right.view().size();
    LSA_UNICODE_STRING name{static_cast<USHORT>(units * sizeof(wchar_t)),
                            static_cast<USHORT>((units + 1) * sizeof(wchar_t)),
                            const_cast<PWSTR>(right.isNull() ? L"" : right.wide())};
    // Without a right, removal takes every right the account holds.
    const NTSTATUS status = add ? addRights(policy.get(), sid, &name, 1)
                                : removeRights(policy.get(), sid, right.isNull(), &name, 1);
    return toJavaBoolean(status == 0);
}
