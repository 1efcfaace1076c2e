#include "natives/user_account_texts.h"

#include <string>

namespace {

constexpr uint32_t kMemberInAlias = 1378;  // ERROR_MEMBER_IN_ALIAS
constexpr uint32_t kAliasExists = 1379;    // ERROR_ALIAS_EXISTS
constexpr uint32_t kGroupExists = 2223;    // NERR_GroupExists

// Windows reports its codes through "%d": large ones read negative.
std::u16string signedDecimal(uint32_t code)
{
    const std::string digits = std::to_string(static_cast<int32_t>(code));
    return std::u16string(digits.begin(), digits.end());
}

} // namespace

std::optional<std::u16string> serviceAccountName(std::u16string_view sid)
{
    if (sid == u"S-1-5-18")
        return u"NT AUTHORITY\\System";
    if (sid == u"S-1-5-19")
        return u"NT AUTHORITY\\LocalService";
    if (sid == u"S-1-5-20")
        return u"NT AUTHORITY\\NetworkService";
    return std::nullopt;
}

bool isBuiltinGroupSid(std::u16string_view sid) { return sid.substr(0, 9) == u"S-1-5-32-"; }

std::u16string logonDomain(std::u16string_view sid, std::u16string_view domain)
{
    if (isBuiltinGroupSid(sid) || domain.empty())
        return u".";
    return std::u16string(domain);
}

std::u16string qualifiedAccountName(std::u16string_view sid, std::u16string_view domain, std::u16string_view name,
                                    bool nameOnly)
{
    if (nameOnly)
        return std::u16string(name);
    return logonDomain(sid, domain) + u"\\" + std::u16string(name);
}

std::u16string withErrorCode(std::u16string_view message, uint32_t code)
{
    return std::u16string(message) + signedDecimal(code);
}

GroupCreation groupCreationOutcome(uint32_t status, bool failIfExists)
{
    if (status == 0)
        return GroupCreation::Created;
    if (status == kAliasExists || status == kGroupExists)
        return failIfExists ? GroupCreation::Failed : GroupCreation::AlreadyThere;
    return GroupCreation::Failed;
}

bool joinedGroup(uint32_t status) { return status == 0 || status == kMemberInAlias; }

std::u16string addUserFailureText(AddUserStep step, uint32_t error, uint32_t parameterIndex)
{
    std::u16string text = signedDecimal(static_cast<uint32_t>(step));
    if (step == AddUserStep::UserSidText)
        return text;
    text += u' ';
    text += signedDecimal(error);
    if (step == AddUserStep::CreateUser) {
        text += u' ';
        text += signedDecimal(parameterIndex);
    }
    return text;
}

std::u16string addUserSuccessText(std::u16string_view userSid, const std::optional<UserGroupPart>& group)
{
    std::u16string text(userSid);
    if (group)
        text += u" " + group->sid + (group->createdNow ? u" true" : u" false");
    return text;
}
