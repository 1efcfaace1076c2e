// The service natives' rules: the dependency list, the account spellings, the image paths
// that may need quotes, and the stop wait against a scripted service and clock.
#include "natives/service_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ServiceRules, DependencyListsSkipEmptyNamesAndMustFit)
{
    const struct {
        std::u16string names;
        std::u16string list;
    } cases[] = {
        {u"", std::u16string(2, u'\0')},
        {u",,", std::u16string(2, u'\0')},
        {u"a", std::u16string(u"a\0\0", 3)},
        {u"a,,b", std::u16string(u"a\0b\0\0", 5)},
        {u",a b,", std::u16string(u"a b\0\0", 5)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dependencyListForChange(c.names), c.list);

    // Each name takes its NUL, and the list one more.
    const std::u16string fits = std::u16string(4000, u'x') + u"," + std::u16string(4189, u'y');
    ASSERT_EQ(dependencyListForChange(fits).value_or(u"").size(), kDependencyListUnits);
    EXPECT_FALSE(dependencyListForChange(fits + u"y"));
    EXPECT_FALSE(dependencyListForChange(std::u16string(10000, u'x')));
}

// Both rules are also checked against the service manager; here their edges.
TEST(ServiceRules, AccountsAndImagePaths)
{
    EXPECT_EQ(serviceAccount(u"NT AUTHORITY\\LocalSystem"), u"LocalSystem");
    EXPECT_EQ(serviceAccount(u"NT AUTHORITY\\SYSTEM"), u"NT AUTHORITY\\SYSTEM"); // exact spellings only
    EXPECT_TRUE(imagePathMayNeedQuotes(u"C:\\App\\svc.exe -run"));
    EXPECT_FALSE(imagePathMayNeedQuotes(u"\"C:\\Program Files\\svc.exe\""));
    EXPECT_FALSE(imagePathMayNeedQuotes(u"C:\\App\\svc.exe"));
    EXPECT_FALSE(imagePathMayNeedQuotes(u""));
}

// A service that reports the scripted states one query after another (the last one for
// ever), on a clock that advances by what the wait sleeps.
struct ScriptedStop {
    std::vector<ServiceProgress> reports;
    size_t failAt = SIZE_MAX;
    uint32_t clock = 0;
    size_t queries = 0;

    ServiceStopWaitLayer layer()
    {
        ServiceStopWaitLayer layer;
        layer.query = [this](ServiceProgress& progress) {
            if (queries == failAt)
                return false;
            progress = reports[std::min(queries++, reports.size() - 1)];
            return true;
        };
        layer.now = [this] { return clock; };
        layer.sleep = [this](uint32_t ms) { clock += ms; };
        return layer;
    }
};

constexpr uint32_t kStopPending = 3;

TEST(ServiceRules, TheStopWaitFollowsCheckpointsWaitHintAndTimeout)
{
    const ServiceProgress stopped{kServiceStoppedState, 0, 0};
    const ServiceProgress pending{kStopPending, 1, 2000};
    const struct {
        const char* what;
        std::vector<ServiceProgress> reports;
        uint32_t timeoutMs;
        uint32_t clockStart;
        int32_t result;
        uint32_t waitedMs;
    } cases[] = {
        {"stopped at once", {stopped}, 0, 0, 0, 0},
        {"stopped after a while", {pending, pending, pending, stopped}, 0, 0, 0, 1500},
        // Timeout 0 still waits out the wait hint: the first poll past 2000 ms ends it.
        {"wait hint passes", {pending}, 0, 0, kServiceStopTimedOut, 2500},
        {"timeout longer than the hint", {pending}, 5000, 0, kServiceStopTimedOut, 5500},
        {"checkpoints keep it waiting",
         {pending, {kStopPending, 2, 2000}, {kStopPending, 3, 2000}, {kStopPending, 4, 2000}},
         0,
         0,
         kServiceStopTimedOut,
         1500 + 2500},
        {"across the tick count's wrap", {pending}, 0, 0xffffff00u, kServiceStopTimedOut, 2500},
        {"stopped on the deciding poll", {pending, pending, pending, pending, pending, stopped}, 0, 0, 0, 2500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedStop service{c.reports};
        service.clock = c.clockStart;
        EXPECT_EQ(waitForServiceStopped(service.layer(), c.timeoutMs), c.result);
        EXPECT_EQ(service.clock - c.clockStart, c.waitedMs);
    }

    for (const size_t failAt : {size_t{0}, size_t{2}}) {
        ScriptedStop service{{pending}, failAt};
        EXPECT_EQ(waitForServiceStopped(service.layer(), 0), kServiceStopQueryFailed);
    }
    // A negative timeout from Java is a very long one, not an immediate end.
    ScriptedStop longWait{{pending}, 200};
    EXPECT_EQ(waitForServiceStopped(longWait.layer(), static_cast<uint32_t>(-1)), kServiceStopQueryFailed);
}

} // namespace
