// The native of the ACLHandling class: grants a trustee rights on a file, a directory or a
// registry key through one inheritable entry merged into the object's DACL.
#include "natives/windows/acl_handling.h"

#include <sddl.h>

#include <atomic>
#include <string>
#include <vector>

#include "launchcore/windows/base/console_output.h"
#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/base/text_conversion.h"
#include "natives/access_entry_rules.h"
#include "natives/windows/native_export.h"

namespace {

constexpr DWORD kAccountSidBytes = 8192;
constexpr DWORD kDomainUnits = 8192;

std::atomic<decltype(SecurityInfoCalls::get)> g_getSecurityInfo{&GetNamedSecurityInfoW};
std::atomic<decltype(SecurityInfoCalls::set)> g_setSecurityInfo{&SetNamedSecurityInfoW};

// The SID of an account given as a SID string or an account name of the local system; empty
// when it is neither.
unique_local_mem accountSid(const JavaText& account)
{
    unique_local_mem sid;
    if (!account.ok() || account.isNull())
        return sid;
    PSID converted = nullptr;
    if (ConvertStringSidToSidW(account.wide(), &converted)) {
        sid.reset(converted);
        return sid;
    }
    sid.reset(LocalAlloc(LPTR, kAccountSidBytes));
    if (!sid)
        return sid;
    DWORD sidBytes = kAccountSidBytes;
    std::vector<wchar_t> domain(kDomainUnits, L'\0');
    DWORD domainUnits = kDomainUnits;
    SID_NAME_USE use;
    if (!LookupAccountNameW(nullptr, account.wide(), sid.get(), &sidBytes, domain.data(), &domainUnits, &use))
        sid.reset();
    return sid;
}

unique_sid wellKnownSid(const WellKnownTrustee& trustee)
{
    SID_IDENTIFIER_AUTHORITY authority{{0, 0, 0, 0, 0, trustee.authority}};
    unique_sid sid;
    if (!AllocateAndInitializeSid(&authority, trustee.count, trustee.subAuthorities[0], trustee.subAuthorities[1], 0, 0,
                                  0, 0, 0, 0, sid.put()))
        sid.reset();
    return sid;
}

// Merges a grant for the SID into the object's DACL; the first Windows error, or 0.
DWORD grantAccess(const wchar_t* path, SE_OBJECT_TYPE type, PSID sid, DWORD access)
{
    if (!path)
        return ERROR_INVALID_PARAMETER;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD read = g_getSecurityInfo.load()(path, type, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                                nullptr, &descriptor);
    const unique_local_mem ownedDescriptor(descriptor);
    if (read != ERROR_SUCCESS) {
        printConsole("GetNamedSecurityInfo Error %u %s\n", static_cast<unsigned>(read), narrowAnsi(path).c_str());
        // Without the old DACL the merge would hold the new entry alone, and writing that
        // would take every other account's access away.
        return read;
    }
    EXPLICIT_ACCESS_W entry{};
    entry.grfAccessPermissions = access;
    entry.grfAccessMode = GRANT_ACCESS;
    entry.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    entry.Trustee.pMultipleTrustee = nullptr;
    entry.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    entry.Trustee.ptstrName = static_cast<LPWSTR>(sid);
    PACL merged = nullptr;
    const DWORD merge = SetEntriesInAclW(1, &entry, dacl, &merged);
    const unique_local_mem ownedMerged(merged);
    if (merge != ERROR_SUCCESS) {
        printConsole("SetEntriesInAcl Error %u\n", static_cast<unsigned>(merge));
        return merge;
    }
    std::wstring name(path);
    const DWORD write =
        g_setSecurityInfo.load()(name.data(), type, DACL_SECURITY_INFORMATION, nullptr, nullptr, merged, nullptr);
    if (write != ERROR_SUCCESS)
        printConsole("SetNamedSecurityInfo Error %u\n", static_cast<unsigned>(write));
    return write;
}

} // namespace

SecurityInfoCalls replaceSecurityInfoCalls(SecurityInfoCalls calls)
{
    return {g_getSecurityInfo.exchange(calls.get), g_setSecurityInfo.exchange(calls.set)};
}

SLDK_NATIVE_EXPORT(jboolean, ACLHandling, addACE)
(JNIEnv* env, jobject, jstring objectPath, jboolean registryKey, jboolean read, jboolean write, jboolean execute,
 jboolean all, jint trusteeKind, jstring accountName)
{
    const DWORD access = grantedAccess(read != JNI_FALSE, write != JNI_FALSE, execute != JNI_FALSE, all != JNI_FALSE);
    unique_local_mem account;
    unique_sid wellKnown;
    PSID sid = nullptr;
    if (const std::optional<WellKnownTrustee> trustee = wellKnownTrustee(trusteeKind)) {
        wellKnown = wellKnownSid(*trustee);
        sid = wellKnown.get();
    } else {
        const JavaText name(env, accountName);
        if (!name.ok())
            return JNI_FALSE;
        account = accountSid(name);
        sid = account.get();
    }
    if (!sid)
        return JNI_FALSE;
    const JavaText path(env, objectPath);
    if (!path.ok())
        return JNI_FALSE;
    const SE_OBJECT_TYPE type = registryKey != JNI_FALSE ? SE_REGISTRY_KEY : SE_FILE_OBJECT;
    return toJavaBoolean(grantAccess(path.wide(), type, sid, access) == ERROR_SUCCESS);
}
