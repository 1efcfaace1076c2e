// The texts the user-account natives answer with: names of the service accounts, account
// names composed from a SID lookup, the result of creating a user, and the error texts,
// which start with a space so that the Java side tells them from names and paths.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// "NT AUTHORITY\System", "NT AUTHORITY\LocalService" or "NT AUTHORITY\NetworkService" for
// S-1-5-18, -19 and -20; nullopt for every other text.
std::optional<std::u16string> serviceAccountName(std::u16string_view sid);

// A SID of a built-in group (S-1-5-32-...): its accounts live in no real domain.
bool isBuiltinGroupSid(std::u16string_view sid);

// What a SID lookup names: the name alone, or qualified as "domain\name", with "." for the
// domain of a built-in group and of an account without a domain.
std::u16string qualifiedAccountName(std::u16string_view sid, std::u16string_view domain, std::u16string_view name,
                                    bool nameOnly);
// The domain an account of that SID logs on in, by the same rule.
std::u16string logonDomain(std::u16string_view sid, std::u16string_view domain);

// The message followed by the code in signed decimal (" 1337", " could not get token 5").
std::u16string withErrorCode(std::u16string_view message, uint32_t code);

// How asking for the new user's group to be created ended.
enum class GroupCreation { Created, AlreadyThere, Failed };
GroupCreation groupCreationOutcome(uint32_t status, bool failIfExists);
// Whether adding the user to the group left it a member (already being one counts).
bool joinedGroup(uint32_t status);

// The steps of creating a user that can fail, by the number the result text starts with.
enum class AddUserStep { CreateGroup = 1, CreateUser = 2, ReadUser = 3, JoinGroup = 4, UserSidText = 5, FindGroup = 6 };
// "<step> <error>", "2 <error> <parameter index>" for the user creation, "5" for the SID text.
std::u16string addUserFailureText(AddUserStep step, uint32_t error, uint32_t parameterIndex = 0);

struct UserGroupPart {
    std::u16string sid;
    bool createdNow = false;
};
// The user's SID, then with a group its SID and whether this call created it.
std::u16string addUserSuccessText(std::u16string_view userSid, const std::optional<UserGroupPart>& group);
