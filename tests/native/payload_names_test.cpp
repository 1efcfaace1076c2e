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
        {"dir/b.jar", true},  // "/" separates levels like "\\"
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
        // Names Windows opens as devices, in any component, any case, with an extension.
        {"CON", false},
        {"nul.txt", false},
        {"lib\\aux.jar", false},
        {"lib/Com1.dll", false},
        {"LPT9\\a.jar", false},
        {"prn .log", false},
        {"conout$", false},
        {"com\xb9.txt", false},
        {"console.jar", true},
        {"com10.jar", true},
        {"lpt0.txt", true},
        {"a.con", true},
        {"nul_\\x", true},
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
        {"a/b/c.jar", {"a", "a/b"}},
        {"a/b\\c.jar", {"a", "a/b"}},
        {"a\\/b.jar", {"a"}},
        {"a\\\\b.jar", {"a"}},
        {"a\\b\\", {"a", "a\\b"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(payloadDirectoryPrefixes(c.name), c.prefixes) << '"' << c.name << '"';
}

} // namespace
