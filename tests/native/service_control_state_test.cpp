#include "servicelauncher/service_control_state.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "launchcore/diagnostics.h"

namespace {

using Strings = std::vector<std::string>;

Strings g_lines;
void recordLine(bool, const std::string& line) { g_lines.push_back(line); }

// Fake pipe, process and status layers that write one event line per call.
struct FakeLayer {
    Strings events;
    uint32_t reportError = 0;
    uint32_t writeError = 0;
    PipeHandle worker = 7;                   // 0: the worker cannot be started
    std::function<void()> duringCreation;    // runs while the worker is being created

    ServiceLayer layer()
    {
        ServiceLayer l;
        l.reportStatus = [this](const ServiceStatusRecord& s) {
            events.push_back("report " + std::to_string(s.currentState) + " " + std::to_string(s.win32ExitCode) + "/" +
                             std::to_string(s.serviceSpecificExitCode) + " cp" + std::to_string(s.checkPoint));
            return reportError;
        };
        l.writeLine = [this](PipeHandle pipe, std::string_view text) {
            events.push_back("write " + std::to_string(pipe) + " " + std::string(text));
            return writeError;
        };
        l.closePipe = [this](PipeHandle pipe) { events.push_back("close " + std::to_string(pipe)); };
        l.createWorker = [this] {
            events.push_back("create");
            if (duringCreation)
                duringCreation();
            return worker;
        };
        return l;
    }
};

class ServiceControlStateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_lines.clear();
        setDiagnosticSink(recordLine);
    }
    void TearDown() override { setDiagnosticSink(nullptr); }
};

int count(const Strings& lines, const std::string& line)
{
    int n = 0;
    for (const std::string& l : lines)
        n += l == line;
    return n;
}

std::string joined(const Strings& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

TEST_F(ServiceControlStateTest, StatusSequences)
{
    enum Step { Running, StartFailure, StartWorker, Stop, Shutdown, Interrogate, Ended0, Ended1 };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        Strings events;
        uint32_t finalState;
        bool stoppedSet;
        PipeHandle worker = 7; // 0: CreateProcess fails
    };
    const Case cases[] = {
        {"worker ends with 0 by itself",
         {Running, StartWorker, Ended0},
         {"report 4 0/0 cp0", "create", "report 4 0/0 cp0", "close 7", "report 1 0/0 cp0"},
         1,
         true},
        // The manager's recovery applies only when the process ends without "stopped".
        {"worker ends with 1 by itself",
         {Running, StartWorker, Ended1},
         {"report 4 0/0 cp0", "create", "report 4 0/0 cp0", "close 7"},
         4,
         false},
        {"stop, then the worker ends",
         {Running, StartWorker, Stop, Ended1},
         {"report 4 0/0 cp0", "create", "report 4 0/0 cp0", "report 3 0/0 cp0", "write 7 0\n", "close 7",
          "report 1 0/0 cp0"},
         1,
         true},
        {"shutdown counts the checkpoint, stopped resets it",
         {Running, StartWorker, Shutdown, Shutdown, Ended0},
         {"report 4 0/0 cp0", "create", "report 4 0/0 cp0", "report 3 0/0 cp1", "write 7 0\n", "close 7",
          "report 3 0/0 cp2", "report 1 0/0 cp0"},
         1,
         true},
        {"interrogate repeats the status",
         {Running, StartWorker, Interrogate},
         {"report 4 0/0 cp0", "create", "report 4 0/0 cp0", "report 4 0/0 cp0"},
         4,
         false},
        // A stop before the worker exists: nothing to write to, and no worker is started.
        {"stop before the worker exists",
         {Running, Stop, StartWorker},
         {"report 4 0/0 cp0", "report 3 0/0 cp0", "report 1 0/0 cp0"},
         1,
         true},
        {"pipes could not be made",
         {Running, StartFailure},
         {"report 4 0/0 cp0", "report 1 1066/5000 cp0"},
         1,
         false},
        {"worker cannot be started",
         {Running, StartWorker, Stop},
         {"report 4 0/0 cp0", "create", "report 1 1066/5000 cp0", "report 1 1066/5000 cp0"},
         1,
         false,
         0},
        {"a control after the failed start only repeats stopped",
         {Running, StartFailure, Stop},
         {"report 4 0/0 cp0", "report 1 1066/5000 cp0", "report 1 1066/5000 cp0"},
         1,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_lines.clear();
        FakeLayer fake;
        fake.worker = c.worker;
        ServiceControlState state(fake.layer());
        for (Step step : c.steps) {
            switch (step) {
            case Running: state.reportRunning(); break;
            case StartFailure: state.reportStartFailure(); break;
            case StartWorker: state.startWorker(); break;
            case Stop: state.handleControl(kControlStop); break;
            case Shutdown: state.handleControl(kControlShutdown); break;
            case Interrogate: state.handleControl(4); break;
            case Ended0: state.workerEnded(0); break;
            case Ended1: state.workerEnded(1); break;
            }
        }
        EXPECT_EQ(joined(fake.events), joined(c.events));
        EXPECT_EQ(state.status().currentState, c.finalState);
        EXPECT_EQ(count(g_lines, "service stopped set"), c.stoppedSet ? 1 : 0) << joined(g_lines);
    }
}

// A stop that arrives while CreateProcess runs: "0" goes out right after the creation and
// the stop-pending state is not overwritten by "running".
TEST_F(ServiceControlStateTest, StopDuringWorkerCreationIsPassedOnRightAfter)
{
    FakeLayer fake;
    ServiceControlState state(fake.layer());
    fake.duringCreation = [&state] { state.handleControl(kControlStop); };
    state.reportRunning();
    EXPECT_TRUE(state.startWorker());
    EXPECT_EQ(joined(fake.events),
              joined({"report 4 0/0 cp0", "create", "report 3 0/0 cp0", "write 7 0\n", "close 7"}));
    EXPECT_EQ(state.status().currentState, kServiceStopPending);
    EXPECT_TRUE(state.workerEnded(1));
    EXPECT_EQ(state.status().currentState, kServiceStopped);
    EXPECT_EQ(count(fake.events, "write 7 0\n"), 1);
}

// The manager refuses a second stop while stop pending, but a shutdown still arrives: the
// pipe is written and closed once, the second attempt is only logged.
TEST_F(ServiceControlStateTest, StopThenShutdownWritesAndClosesOnce)
{
    FakeLayer fake;
    ServiceControlState state(fake.layer());
    state.reportRunning();
    state.startWorker();
    state.handleControl(kControlStop);
    state.handleControl(kControlShutdown);
    state.workerEnded(0);
    EXPECT_EQ(count(fake.events, "write 7 0\n"), 1);
    EXPECT_EQ(count(fake.events, "close 7"), 1);
    EXPECT_EQ(count(g_lines, "sending shutdown failed"), 1) << joined(g_lines);
    EXPECT_EQ(count(g_lines, "error code 6"), 1);
    EXPECT_EQ(count(g_lines, "sending shutdown1 0"), 2);
    EXPECT_EQ(count(g_lines, "shutdown sent"), 2);
    EXPECT_EQ(count(g_lines, "control handler request 1"), 1);
    EXPECT_EQ(count(g_lines, "control handler request 5"), 1);
}

TEST_F(ServiceControlStateTest, FailuresAreLoggedWithTheirNumberedTexts)
{
    struct Case {
        const char* name;
        std::function<void(ServiceControlState&)> act;
        uint32_t reportError;
        uint32_t writeError;
        Strings expected; // lines that must be logged
    };
    const Case cases[] = {
        {"stop", [](ServiceControlState& s) { s.handleControl(kControlStop); }, 5, 0,
         {"control handler request 1", "SetServiceStatus 2 failed 5", "sending shutdown1 0", "shutdown sent"}},
        {"shutdown", [](ServiceControlState& s) { s.handleControl(kControlShutdown); }, 5, 0,
         {"control handler request 5", "SetServiceStatus 1 failed 5"}},
        {"interrogate", [](ServiceControlState& s) { s.handleControl(4); }, 6, 0,
         {"control handler request 4", "SetServiceStatus 3 failed 6"}},
        {"worker end", [](ServiceControlState& s) { s.workerEnded(0); }, 5, 0,
         {"SetServiceStatus 10 failed 5", "service stopped set"}},
        // The worker died and closed its end: the write fails, the pipe is closed anyway.
        {"write failure", [](ServiceControlState& s) { s.handleControl(kControlStop); }, 0, 232,
         {"sending shutdown failed", "error code 232", "shutdown sent"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeLayer fake;
        ServiceControlState state(fake.layer());
        state.startWorker();
        fake.reportError = c.reportError;
        fake.writeError = c.writeError;
        g_lines.clear();
        c.act(state);
        for (const std::string& line : c.expected)
            EXPECT_EQ(count(g_lines, line), 1) << line << "\n" << joined(g_lines);
        if (c.writeError != 0)
            EXPECT_EQ(count(fake.events, "close 7"), 1);
    }
}

TEST(ServiceControlStatePriority, OnlyPriorityClassesAreAccepted)
{
    struct Case {
        std::optional<uint32_t> value;
        uint32_t expected;
        const char* logged; // nullptr: nothing
    };
    const Case cases[] = {
        {std::nullopt, 0x20, nullptr},
        {0x20, 0x20, "using priority 32"},
        {0x40, 0x40, "using priority 64"},
        {0x80, 0x80, "using priority 128"},
        {0x100, 0x100, "using priority 256"},
        {0x4000, 0x4000, "using priority 16384"},
        {0x8000, 0x8000, "using priority 32768"},
        // Priority plus CREATE_SUSPENDED, a console of its own, debugging, or nothing.
        {0x24, 0x20, "priority 36 not accepted, using 32"},
        {0x30, 0x20, "priority 48 not accepted, using 32"},
        {0x21, 0x20, "priority 33 not accepted, using 32"},
        {0, 0x20, "priority 0 not accepted, using 32"},
        {0xFFFFFFFF, 0x20, "priority -1 not accepted, using 32"},
    };
    setDiagnosticSink(recordLine);
    for (const Case& c : cases) {
        g_lines.clear();
        EXPECT_EQ(workerPriorityClass(c.value), c.expected);
        EXPECT_EQ(g_lines, c.logged ? Strings{c.logged} : Strings{});
    }
    setDiagnosticSink(nullptr);
}

} // namespace
