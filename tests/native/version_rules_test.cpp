#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launchcore/version_rules.h"

namespace {

TEST(VersionRules, ParsesVersionTextsIntoVectors)
{
    const struct {
        const char* text;
        VersionVector expected;
    } cases[] = {
        {"1.8.0_181", {1, 8, 0, 181}},
        {"10.0.2", {10, 0, 2}},
        {"9", {9}},
        {"11-ea", {11, 0}},
        {"1.8.0_181-b13", {1, 8, 0, 181, 0}},
        {"", {}},
        {"._-+", {}},
        {"..1__2--", {1, 2}},
        {"+1.8+", {1, 8}},
        {" 7. 08", {7, 8}},
        {"12abc.3", {12, 3}},
        {"11.0.2\" 2019-01-1", {11, 0, 2, 1, 1}},
        {"99999999999.1", {2147483647, 1}},
        {"4294967297", {2147483647}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseVersion(c.text), c.expected) << c.text;
}

TEST(VersionRules, BoundsAreInclusiveAndCompareOnlyTheBoundsComponents)
{
    const struct {
        const char* bound;
        const char* version;
        bool isMaximum;
        bool prefixMode;
        bool accepted;
    } cases[] = {
        {"1.8", "1.8", false, false, true},
        {"1.8", "1.8.0_181", false, false, true},
        {"1.8", "9", false, false, true},
        {"1.8", "10.0.2", false, false, true},
        {"1.8", "1.7.0_80", false, false, false},
        {"1.8", "1", false, false, false},
        {"1.8", "", false, false, false},
        {"1.8", "1.8.0_181", true, false, true},
        {"1.8", "9", true, false, false},
        {"9", "10.0.2", true, false, false},
        {"9", "9.0.4", true, false, true},
        {"1.8.0_100", "1.8.0_181", true, false, false},
        {"1.8.0_100", "1.8.0_20", true, false, true},
        {"1.8.0_100", "1.8", true, false, true},
        {"", "1.2", false, false, true},
        {"", "1.2", true, false, true},
        {"", "", true, true, true},
        // Registry key names compare as prefixes: a key "1.8" may hold any 1.8 update.
        {"1.8.0_100", "1.8", false, true, true},
        {"1.8.0_100", "1.8", false, false, false},
        {"1.8.0_100", "1.7", false, true, false},
        {"1.8.0_100", "1.8", true, true, true},
        {"11", "11-ea", false, false, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(versionWithinBound(parseVersion(c.bound), parseVersion(c.version), c.isMaximum, c.prefixMode),
                  c.accepted)
            << (c.isMaximum ? "max " : "min ") << c.bound << " version " << c.version
            << (c.prefixMode ? " (prefix)" : "");
}

TEST(VersionRules, GreaterComparesComponentsAndLongerWinsTies)
{
    const struct {
        const char* a;
        const char* b;
        bool greater;
    } cases[] = {
        {"1.8.0", "1.8", true},
        {"1.8", "1.8.0", false},
        {"", "1.8", false},
        {"", "", false},
        {"1.8", "", true},
        {"1.8.0_181", "1.8.0_181", false},
        {"1.8.0_181", "1.8.0_20", true},
        {"1.8.0_20", "1.8.0_181", false},
        {"10.0.2", "9", true},
        {"9", "10.0.2", false},
        {"11", "11-ea", false},
        {"11-ea", "11", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(versionGreater(c.a, c.b), c.greater) << c.a << " > " << c.b;
}

} // namespace
