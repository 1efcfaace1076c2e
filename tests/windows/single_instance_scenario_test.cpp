// Single-instance mode as users meet it: service launchers started with "/run" next to
// copies of themselves. A semaphore the test holds stands for a running copy, and a
// suspended process of the same file stands for that copy's recorded process id.
#include "testing/launcher_run.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const char kPidKey[] = "SOFTWARE\\brenmark\\vexon\\pids\\";

std::wstring serviceLauncher(const std::wstring& directory, const std::vector<std::pair<int32_t, std::string>>& config)
{
    sldkpack::LauncherModel model = basicModel("4");
    for (const auto& [id, value] : config)
        sldkpack::setConfig(model, id, value);
    return buildLauncherFile(kServiceStub, model, directory, L"service.exe");
}

std::string lowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::wstring upperAscii(std::wstring text)
{
    for (wchar_t& c : text)
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    return text;
}

// What the launcher keys its semaphore and pid record with: its lower-case full path (the
// scratch folders are ASCII, so the 8-bit form is the UTF-8 one).
std::string identityOf(const std::wstring& launcher)
{
    return lowerAscii(toUtf8(launcher));
}

std::string semaphoreStem(const std::string& identity, bool global)
{
    std::string stem = global ? "Global\\" : "Local\\";
    for (char c : identity)
        stem.push_back(c == '\\' || c == ' ' ? '_' : c);
    return stem;
}

// A semaphore of a running copy.
struct HeldSemaphore {
    explicit HeldSemaphore(const std::string& name) : handle(CreateSemaphoreA(nullptr, 1, 1, name.c_str()))
    {
        EXPECT_NE(handle, nullptr) << name;
    }
    HeldSemaphore(const HeldSemaphore&) = delete;
    HeldSemaphore& operator=(const HeldSemaphore&) = delete;
    HeldSemaphore(HeldSemaphore&& other) noexcept : handle(std::exchange(other.handle, nullptr)) {}
    ~HeldSemaphore()
    {
        if (handle)
            CloseHandle(handle);
    }
    HANDLE handle;
};

// A process of the launcher file that never runs a line of its own.
struct SuspendedCopy {
    explicit SuspendedCopy(const std::wstring& program)
    {
        // Wine now and then refuses a suspended start with ERROR_INTERNAL_ERROR while other
        // processes are being created; a second attempt goes through.
        DWORD error = 0;
        for (int attempt = 0; attempt < 5 && pid == 0; ++attempt) {
            std::wstring commandLine = quoteArgument(program);
            STARTUPINFOW startup{};
            startup.cb = sizeof(startup);
            PROCESS_INFORMATION info{};
            if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                               nullptr, nullptr, &startup, &info)) {
                process = info.hProcess;
                CloseHandle(info.hThread);
                pid = info.dwProcessId;
            } else {
                error = GetLastError();
                if (error != ERROR_INTERNAL_ERROR)
                    break;
                Sleep(100);
            }
        }
        EXPECT_NE(pid, 0u) << "cannot start " << toUtf8(program) << " suspended: " << error;
    }
    SuspendedCopy(const SuspendedCopy&) = delete;
    SuspendedCopy& operator=(const SuspendedCopy&) = delete;
    ~SuspendedCopy()
    {
        if (process) {
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
    HANDLE process = nullptr;
    DWORD pid = 0;
};

// Values are never removed by the launchers; the tests clean up after themselves.
struct PidRecord {
    explicit PidRecord(std::string identity) : name(std::move(identity)) {}
    PidRecord(const PidRecord&) = delete;
    PidRecord& operator=(const PidRecord&) = delete;
    ~PidRecord()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kPidKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, name.c_str());
            RegCloseKey(key);
        }
    }
    bool write(DWORD pid) const
    {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kPidKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return false;
        const LONG result =
            RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&pid), sizeof(pid));
        RegCloseKey(key);
        return result == ERROR_SUCCESS;
    }
    // -1 when there is no value.
    long long read() const
    {
        DWORD pid = 0;
        DWORD size = sizeof(pid);
        if (RegGetValueA(HKEY_CURRENT_USER, kPidKey, name.c_str(), RRF_RT_REG_DWORD, nullptr, &pid, &size) !=
            ERROR_SUCCESS)
            return -1;
        return pid;
    }
    std::string name;
};

LauncherOutcome runWithLog(const std::wstring& launcher, const std::wstring& temp)
{
    return runLauncher(launcher, temp, {L"/run"}, {{L"SEALDECK_LOG", L"yes"}});
}

// The "[s:ms] " time of the first log line starting with prefix, in milliseconds; -1 when
// there is none.
long long logLineTime(const std::string& text, const std::string& prefix)
{
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        unsigned seconds = 0;
        unsigned millis = 0;
        int consumed = 0;
        if (std::sscanf(line.c_str(), "[%u:%u] %n", &seconds, &millis, &consumed) == 2 && consumed > 0 &&
            line.compare(static_cast<size_t>(consumed), prefix.size(), prefix) == 0)
            return seconds * 1000LL + millis;
    }
    return -1;
}

std::string semaphoreLinePrefix(const std::string& name, DWORD code)
{
    return "semaphore name " + name + ", code " + std::to_string(code) + ", value ";
}

} // namespace

// Three copies running at once are told apart by the counter; a counter freed by a copy
// that ended is taken again.
TEST(SingleInstanceScenario, WithoutSingleInstanceModeTheFirstFreeCounterIsUsed)
{
    const struct {
        const char* name;
        bool global;
        std::vector<int> held;
        int expected;
    } cases[] = {
        {"alone", false, {}, 0},
        {"third copy", false, {0, 1}, 2},
        {"gap", false, {0, 2}, 1},
        {"global namespace, second copy", true, {0}, 1},
    };
    ScratchDirectory scratch;
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A blank in the folder shows in the name as "_".
        const std::wstring directory = scratch.subdirectory(L"copy " + std::to_wstring(++n));
        const std::wstring launcher = serviceLauncher(directory, {{158, c.global ? "1" : "0"}});
        ASSERT_FALSE(launcher.empty());
        const std::string identity = identityOf(launcher);
        const PidRecord record(identity);
        const std::string stem = semaphoreStem(identity, c.global);
        ASSERT_NE(stem.find("_copy_"), std::string::npos) << stem;

        std::vector<HeldSemaphore> running;
        for (int counter : c.held)
            running.emplace_back(stem + std::to_string(counter));
        const LauncherOutcome outcome = runWithLog(launcher, scratch.subdirectory(L"tmp" + std::to_wstring(n)));
        const std::string log = singleLogText(outcome);
        EXPECT_TRUE(hasLogLineStartingWith(log, semaphoreLinePrefix(stem + std::to_string(c.expected), 0))) << log;
        EXPECT_FALSE(hasLogLine(log, "single instance mode")) << log;
        EXPECT_FALSE(hasLogLine(log, "exiting")) << log;
        EXPECT_EQ(record.read(), -1) << "only single-instance mode records a pid";
    }
}

// The second start exits 0 at once when the recorded pid is a live process of the same
// file, also when started through a path in other letter case, and whether or not it is
// to raise the other copy's windows (the suspended copy has none).
TEST(SingleInstanceScenario, SecondStartFindsTheRunningCopyAndExits)
{
    for (const char* bringToFront : {"0", "1"}) {
        SCOPED_TRACE(std::string("bring to front ") + bringToFront);
        ScratchDirectory scratch;
        const std::wstring launcher = serviceLauncher(scratch.path(), {{10005, "1"}, {10007, bringToFront}});
        ASSERT_FALSE(launcher.empty());
        const std::string identity = identityOf(launcher);
        const std::string stem = semaphoreStem(identity, false);
        const PidRecord record(identity);
        const SuspendedCopy first(launcher);
        ASSERT_NE(first.pid, 0u);
        ASSERT_TRUE(record.write(first.pid));
        const HeldSemaphore held(stem);

        const LauncherOutcome outcome = runWithLog(upperAscii(launcher), scratch.subdirectory(L"tmp"));
        EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
        const std::string log = singleLogText(outcome);
        EXPECT_TRUE(hasLogLine(log, "single instance mode")) << log;
        EXPECT_TRUE(hasLogLineStartingWith(log, semaphoreLinePrefix(stem, ERROR_ALREADY_EXISTS))) << log;
        EXPECT_TRUE(hasLogLine(log, "other pid " + std::to_string(first.pid))) << log;
        EXPECT_TRUE(hasLogLine(log, "exiting")) << log;
        EXPECT_FALSE(hasLogLineStartingWith(log, "found window")) << log;
        // The pid was there: found by the first read, without the retry delays.
        const long long created = logLineTime(log, "semaphore name ");
        const long long found = logLineTime(log, "other pid ");
        EXPECT_GE(created, 0) << log;
        EXPECT_LT(found - created, 1000) << log;
        EXPECT_FALSE(hasLogLineStartingWith(log, "pid ")) << log;
        EXPECT_EQ(record.read(), static_cast<long long>(first.pid)) << "the second start must not record itself";
    }
}

// The first start records its own pid under the lower-case identity, even when started
// through an upper-case path. A copy of the same program in another folder is another
// launcher: it does not see the first one's semaphore.
TEST(SingleInstanceScenario, FirstStartRecordsItsPidAndOtherFoldersAreOtherLaunchers)
{
    ScratchDirectory scratch;
    const std::wstring first = serviceLauncher(scratch.subdirectory(L"a"), {{10005, "1"}});
    const std::wstring other = serviceLauncher(scratch.subdirectory(L"b"), {{10005, "1"}});
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(other.empty());
    const PidRecord firstRecord(identityOf(first));
    const PidRecord otherRecord(identityOf(other));

    {
        const LauncherOutcome outcome = runWithLog(upperAscii(first), scratch.subdirectory(L"tmp1"));
        const std::string log = singleLogText(outcome);
        EXPECT_TRUE(hasLogLine(log, "single instance mode")) << log;
        EXPECT_TRUE(hasLogLineStartingWith(log, semaphoreLinePrefix(semaphoreStem(identityOf(first), false), 0)))
            << log;
        EXPECT_FALSE(hasLogLineStartingWith(log, "other pid")) << log;
        EXPECT_FALSE(hasLogLine(log, "exiting")) << log;
        EXPECT_EQ(firstRecord.read(), static_cast<long long>(outcome.process.processId));
    }

    // The first launcher's semaphore stays held while the copy in the other folder starts.
    const HeldSemaphore held(semaphoreStem(identityOf(first), false));
    const LauncherOutcome outcome = runWithLog(other, scratch.subdirectory(L"tmp2"));
    const std::string log = singleLogText(outcome);
    EXPECT_TRUE(hasLogLineStartingWith(log, semaphoreLinePrefix(semaphoreStem(identityOf(other), false), 0))) << log;
    EXPECT_FALSE(hasLogLine(log, "exiting")) << log;
    EXPECT_EQ(otherRecord.read(), static_cast<long long>(outcome.process.processId));
}

// A recorded pid of some other program (here the test itself) must never have its windows
// raised: it reads as no pid, so the second start waits out its retries and exits 0.
TEST(SingleInstanceScenario, StalePidOfAnotherProgramIsNotTakenForTheRunningCopy)
{
    ScratchDirectory scratch;
    const std::wstring launcher = serviceLauncher(scratch.path(), {{10005, "1"}, {10007, "1"}});
    ASSERT_FALSE(launcher.empty());
    const std::string identity = identityOf(launcher);
    const PidRecord record(identity);
    ASSERT_TRUE(record.write(GetCurrentProcessId()));
    const HeldSemaphore held(semaphoreStem(identity, false));

    const ULONGLONG start = GetTickCount64();
    const LauncherOutcome outcome = runWithLog(launcher, scratch.subdirectory(L"tmp"));
    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_EQ(outcome.process.exitCode, 0u) << describe(outcome);
    const std::string log = singleLogText(outcome);
    EXPECT_TRUE(hasLogLine(log, "pid " + std::to_string(GetCurrentProcessId()) +
                                    " is not a running copy of this launcher")) << log;
    EXPECT_TRUE(hasLogLine(log, "other pid 0")) << log;
    EXPECT_TRUE(hasLogLine(log, "exiting")) << log;
    EXPECT_FALSE(hasLogLineStartingWith(log, "found window")) << log;
    EXPECT_GE(elapsed, 4500u) << "fifty retries of 100 ms";
    EXPECT_LT(elapsed, 15000u);
}
