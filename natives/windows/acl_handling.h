// The ACLHandling natives read and write an object's DACL through these two calls
// (GetNamedSecurityInfoW and SetNamedSecurityInfoW). Tests put recorders in their place to see
// the DACL that would be written, where the system under test does not keep ACLs; the
// previous calls are returned so that they can put them back.
#pragma once

#include <windows.h>

#include <aclapi.h>

struct SecurityInfoCalls {
    DWORD(WINAPI* get)(LPCWSTR name, SE_OBJECT_TYPE type, SECURITY_INFORMATION information, PSID* owner, PSID* group,
                       PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor);
    DWORD(WINAPI* set)(LPWSTR name, SE_OBJECT_TYPE type, SECURITY_INFORMATION information, PSID owner, PSID group,
                       PACL dacl, PACL sacl);
};
SecurityInfoCalls replaceSecurityInfoCalls(SecurityInfoCalls calls);
