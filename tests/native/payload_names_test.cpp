#include "launchcore/payload_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(PayloadNames, SafeNames)
{
    struct Case {
        const char* name;
        bool safe;
    };
    const Case cases[] = {
        {"a.jar", true},
        {"dir\\b.jar", true},
        {"a\\b\\c.jar", true},
        {"sldkruntime.jar", true},
        {"..a", true},        // only a whole ".." component climbs
        {"a..\\b", true},
        {"a\\..b", true},
        {".\\a", true},
        {"dir/b.jar", true},  // "/" is an ordinary character inside a name
        {"..\\x", false},
        {"dir\\..\\..\\x", false},
        {"dir\\..", false},
        {"..", false},
        {"a/../b", false},
        {"a\\../b", false},
        {"../x", false},
        {"C:\\x", false},
        {"C:x", false},
        {"a:b", false},       // an NTFS alternate stream of "a"
        {"dir\\a.jar:hidden", false},
        {"\\x", false},
        {"\\\\server\\share\\x", false},
        {"/x", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isSafePayloadName(c.name), c.safe) << '"' << c.name << '"';
}

TEST(PayloadNames, DirectoryPrefixes)
{
    struct Case {
        const char* name;
        std::vector<std::string> prefixes;
    };
    const Case cases[] = {
        {"a.jar", {}},
        {"dir\\b.jar", {"dir"}},
        {"a\\b\\c.jar", {"a", "a\\b"}},
        {"a/b/c.jar", {}},
        {"a/b\\c.jar", {"a/b"}},
        {"a\\\\b.jar", {"a"}},
        {"a\\b\\", {"a", "a\\b"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(payloadDirectoryPrefixes(c.name), c.prefixes) << '"' << c.name << '"';
}

} // namespace
