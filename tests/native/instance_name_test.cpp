// Instance semaphore names: namespace prefix, character replacement and the counter walk.
#include "launchcore/instance_name.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

TEST(InstanceName, StemHasNamespacePrefixAndReplacesBackslashesAndBlanks)
{
    const struct {
        bool global;
        std::string identity;
        std::string expected;
    } cases[] = {
        {false, "c:\\program files\\app\\launcher.exe", "Local\\c:_program_files_app_launcher.exe"},
        {true, "c:\\program files\\app\\launcher.exe", "Global\\c:_program_files_app_launcher.exe"},
        // Runs stay runs: each character is replaced on its own.
        {false, "\\\\server\\share\\a  b.exe", "Local\\__server_share_a__b.exe"},
        {false, " c:\\x\\ ", "Local\\_c:_x__"},
        // Slashes, tabs and non-ASCII bytes are legal in object names and stay.
        {false, "c:/dir/x\ty.exe", "Local\\c:/dir/x\ty.exe"},
        {false, "c:\\\xe4\xf6\\l.exe", "Local\\c:_\xe4\xf6_l.exe"},
        {false, "", "Local\\"},
        {true, "", "Global\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.identity);
        EXPECT_EQ(instanceNameStem(c.global, c.identity), c.expected);
    }
}

TEST(InstanceName, CountedNameAppendsPlainDecimal)
{
    const struct {
        uint32_t counter;
        const char* expected;
    } cases[] = {
        {0, "Local\\x0"}, {1, "Local\\x1"}, {10, "Local\\x10"}, {99999, "Local\\x99999"},
        {100000, "Local\\x100000"}, {4294967295u, "Local\\x4294967295"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(countedInstanceName("Local\\x", c.counter), c.expected);
}

TEST(InstanceName, CounterWalkTakesTheFirstFreeName)
{
    const struct {
        const char* name;
        std::set<std::string> taken;
        uint32_t expected;
    } cases[] = {
        {"nothing taken", {}, 0},
        {"two running copies", {"S0", "S1"}, 2},
        {"a gap is reused", {"S0", "S2", "S3"}, 1},
        {"names of other stems do not count", {"T0", "S", "S00"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> offered;
        const uint32_t stopped = walkInstanceCounters("S", [&](const std::string& name) {
            offered.push_back(name);
            return c.taken.count(name) != 0;
        });
        EXPECT_EQ(stopped, c.expected);
        ASSERT_EQ(offered.size(), c.expected + 1);
        for (uint32_t i = 0; i < offered.size(); ++i)
            EXPECT_EQ(offered[i], "S" + std::to_string(i));
    }
}

// When every name is taken the walk must end (it keeps the last name it tried) rather than
// wrap the counter or loop for ever.
TEST(InstanceName, CounterWalkEndsAfterTheLastRetriedCounter)
{
    uint32_t calls = 0;
    std::string last;
    const uint32_t stopped = walkInstanceCounters("S", [&](const std::string& name) {
        ++calls;
        last = name;
        return true;
    });
    EXPECT_EQ(stopped, kLastRetriedInstanceCounter + 1);
    EXPECT_EQ(calls, kLastRetriedInstanceCounter + 2);
    EXPECT_EQ(last, "S100000");

    // The last retried counter itself still moves on when its name is free after it.
    const uint32_t atEdge = walkInstanceCounters("S", [&](const std::string& name) {
        return name != "S100000";
    });
    EXPECT_EQ(atEdge, 100000u);
}
