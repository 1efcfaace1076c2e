#include "natives/user_account_texts.h"

#include <gtest/gtest.h>

TEST(UserAccountTexts, AccountNamesQualifyOnlyRealDomains)
{
    EXPECT_EQ(serviceAccountName(u"S-1-5-18"), u"NT AUTHORITY\\System");
    EXPECT_EQ(serviceAccountName(u"S-1-5-19"), u"NT AUTHORITY\\LocalService");
    EXPECT_EQ(serviceAccountName(u"S-1-5-20"), u"NT AUTHORITY\\NetworkService");
    for (const char16_t* other : {u"S-1-5-180", u"S-1-5-1", u"s-1-5-18", u"", u"S-1-5-18 "})
        EXPECT_EQ(serviceAccountName(other), std::nullopt);

    const struct {
        const char16_t* sid;
        const char16_t* domain;
        bool nameOnly;
        const char16_t* text;
    } names[] = {
        {u"S-1-5-32-544", u"BUILTIN", false, u".\\n"},
        {u"S-1-5-32-544", u"BUILTIN", true, u"n"},
        {u"S-1-5-21-1-2-3-1000", u"HOST", false, u"HOST\\n"},
        {u"S-1-5-21-1-2-3-1000", u"", false, u".\\n"},
        {u"S-1-5-21-1-2-3-1000", u"HOST", true, u"n"},
        // The prefix must be whole: S-1-5-321 is no built-in group.
        {u"S-1-5-321", u"D", false, u"D\\n"},
        {u"S-1-5-32", u"D", false, u"D\\n"},
    };
    for (const auto& name : names) {
        SCOPED_TRACE(testing::Message() << name.nameOnly);
        EXPECT_EQ(qualifiedAccountName(name.sid, name.domain, u"n", name.nameOnly), name.text);
    }
    EXPECT_EQ(logonDomain(u"S-1-5-32-545", u"BUILTIN"), u".");
    EXPECT_EQ(logonDomain(u"S-1-5-21-9", u""), u".");
    EXPECT_EQ(logonDomain(u"S-1-5-21-9", u"HOST"), u"HOST");
}

TEST(UserAccountTexts, ErrorCodesReadAsSignedDecimal)
{
    EXPECT_EQ(withErrorCode(u" ", 1337), u" 1337");
    EXPECT_EQ(withErrorCode(u" could not get token ", 0), u" could not get token 0");
    EXPECT_EQ(withErrorCode(u" ", 0x80070005u), u" -2147024891");
}

TEST(UserAccountTexts, AddUserResultTexts)
{
    EXPECT_EQ(groupCreationOutcome(0, true), GroupCreation::Created);
    for (uint32_t exists : {1379u, 2223u}) {
        EXPECT_EQ(groupCreationOutcome(exists, false), GroupCreation::AlreadyThere);
        EXPECT_EQ(groupCreationOutcome(exists, true), GroupCreation::Failed);
    }
    EXPECT_EQ(groupCreationOutcome(5, false), GroupCreation::Failed);
    EXPECT_TRUE(joinedGroup(0));
    EXPECT_TRUE(joinedGroup(1378));
    EXPECT_FALSE(joinedGroup(1379));

    EXPECT_EQ(addUserFailureText(AddUserStep::CreateGroup, 1379), u"1 1379");
    EXPECT_EQ(addUserFailureText(AddUserStep::CreateUser, 2245, 3), u"2 2245 3");
    EXPECT_EQ(addUserFailureText(AddUserStep::ReadUser, 2221), u"3 2221");
    EXPECT_EQ(addUserFailureText(AddUserStep::JoinGroup, 1388), u"4 1388");
    EXPECT_EQ(addUserFailureText(AddUserStep::UserSidText, 8), u"5");
    EXPECT_EQ(addUserFailureText(AddUserStep::FindGroup, 2220), u"6 2220");

    EXPECT_EQ(addUserSuccessText(u"S-1-5-21-1-1001", std::nullopt), u"S-1-5-21-1-1001");
    EXPECT_EQ(addUserSuccessText(u"S-1-5-21-1-1001", UserGroupPart{u"S-1-5-21-1-1002", true}),
              u"S-1-5-21-1-1001 S-1-5-21-1-1002 true");
    EXPECT_EQ(addUserSuccessText(u"S-1-5-21-1-1001", UserGroupPart{u"S-1-5-32-545", false}),
              u"S-1-5-21-1-1001 S-1-5-32-545 false");
}
