#include "natives/user_account_texts.h"

#include <gtest/gtest.h>

// What Wine's pretended groups never reach: the group steps and the texts built on them.
TEST(UserAccountTexts, GroupStepsAndTheirTexts)
{
    EXPECT_EQ(groupCreationOutcome(0, true), GroupCreation::Created);
    for (uint32_t exists : {1379u, 2223u}) {
        EXPECT_EQ(groupCreationOutcome(exists, false), GroupCreation::AlreadyThere);
        EXPECT_EQ(groupCreationOutcome(exists, true), GroupCreation::Failed);
    }
    EXPECT_EQ(groupCreationOutcome(5, false), GroupCreation::Failed);
    EXPECT_TRUE(joinedGroup(0) && joinedGroup(1378));
    EXPECT_FALSE(joinedGroup(1379));

    EXPECT_EQ(addUserFailureText(AddUserStep::CreateGroup, 1379), u"1 1379");
    EXPECT_EQ(addUserFailureText(AddUserStep::JoinGroup, 1388), u"4 1388");
    EXPECT_EQ(addUserFailureText(AddUserStep::UserSidText, 8), u"5");
    EXPECT_EQ(addUserFailureText(AddUserStep::FindGroup, 2220), u"6 2220");
    EXPECT_EQ(addUserSuccessText(u"S-1-5-21-1-1001", UserGroupPart{u"S-1-5-21-1-1002", true}),
              u"S-1-5-21-1-1001 S-1-5-21-1-1002 true");
    EXPECT_EQ(addUserSuccessText(u"S-1-5-21-1-1001", UserGroupPart{u"S-1-5-32-545", false}),
              u"S-1-5-21-1-1001 S-1-5-32-545 false");
    EXPECT_EQ(withErrorCode(u" ", 0x80070005u), u" -2147024891");
}

TEST(UserAccountTexts, OnlyWholeBuiltinPrefixesAndExactServiceSidsAreSpecial)
{
    EXPECT_EQ(qualifiedAccountName(u"S-1-5-321", u"D", u"n", false), u"D\\n");
    EXPECT_EQ(qualifiedAccountName(u"S-1-5-32", u"D", u"n", false), u"D\\n");
    EXPECT_EQ(qualifiedAccountName(u"S-1-5-21-9", u"", u"n", false), u".\\n");
    for (const char16_t* other : {u"S-1-5-180", u"s-1-5-18", u"", u"S-1-5-18 "})
        EXPECT_EQ(serviceAccountName(other), std::nullopt);
}
