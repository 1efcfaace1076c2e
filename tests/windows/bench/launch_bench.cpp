// Start-up figures of the service launcher under Wine, printed for the README:
//   (a) a do-nothing program against "servicelauncher /run" whose stand-in main returns at
//       once, with a warm version cache: medians of the wall time, their difference and
//       ratio, and the time from process creation to the JNI_CreateJavaVM call;
//   (b) the runtime search over five candidates (four runtimes too old, then the good
//       one) with a warm and a cold version cache, and the java.exe runs each start made.
// Run by hand: cmake/wine-run.sh <build>/bin/launch_bench.exe [runs]
#include "testing/launcher_run.h"
#include "testing/standin_runtime.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

double nowMs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

unsigned long long ticksOf(const FILETIME& time)
{
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::string fileText(const std::wstring& path)
{
    const auto bytes = readFileBytes(path);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

// The "create-time: " tick count the stand-in VM traced; 0 when there is none.
unsigned long long tracedCreateTime(const std::wstring& trace)
{
    std::istringstream in(fileText(trace));
    for (std::string line; std::getline(in, line);)
        if (line.rfind("create-time: ", 0) == 0)
            return std::strtoull(line.c_str() + 13, nullptr, 10);
    return 0;
}

// Milliseconds of a log line "[s:ms] text" that starts with prefix; -1 when absent.
double logTime(const std::string& log, const std::string& prefix)
{
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        const size_t close = line.find("] ");
        if (line.empty() || line[0] != '[' || close == std::string::npos)
            continue;
        if (line.compare(close + 2, prefix.size(), prefix) != 0)
            continue;
        const size_t colon = line.find(':');
        return std::atof(line.substr(1, colon - 1).c_str()) * 1000.0 + std::atof(line.substr(colon + 1).c_str());
    }
    return -1;
}

int countLines(const std::string& text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

struct Run {
    double wallMs = 0;
    double toCreateMs = -1;
    double searchMs = -1;
    int javaRuns = 0;
    DWORD exitCode = 0;
};

Run runOnce(const std::wstring& program, const std::vector<std::wstring>& arguments, const std::wstring& temp,
            const std::vector<std::pair<std::wstring, std::wstring>>& environment, const std::wstring& trace,
            const std::wstring& javaRuns)
{
    DeleteFileW(trace.c_str());
    DeleteFileW(javaRuns.c_str());
    for (const std::wstring& log : listLogs(temp))
        DeleteFileW(log.c_str());
    Run run;
    const ProcessOptions options = launcherOptions(temp, arguments, environment);
    const double start = nowMs();
    RunningProcess process = startProcess(program, options);
    const ProcessResult result = process.wait(kLauncherTimeoutMs);
    run.wallMs = nowMs() - start;
    run.exitCode = result.exitCode;
    FILETIME created{}, exited{}, kernel{}, user{};
    const unsigned long long vmCreated = tracedCreateTime(trace);
    if (vmCreated && GetProcessTimes(process.processHandle(), &created, &exited, &kernel, &user))
        run.toCreateMs = static_cast<double>(vmCreated - ticksOf(created)) / 10000.0;
    const std::vector<std::wstring> logs = listLogs(temp);
    if (!logs.empty()) {
        const auto log = readLog(logs.front());
        if (log) {
            const double from = logTime(log->text, "LoadDLL (");
            const double to = logTime(log->text, "Loading of JVM-DLL successful");
            if (from >= 0 && to >= 0)
                run.searchMs = to - from;
        }
    }
    run.javaRuns = countLines(fileText(javaRuns));
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--nothing")
        return 0;
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 20;

    ScratchDirectory scratch;
    const std::wstring temp = scratch.subdirectory(L"tmp");
    const std::wstring trace = scratch.file(L"trace.txt");
    const std::wstring javaRuns = scratch.file(L"java-runs.txt");

    // Four runtimes too old for the minimum, then the good one beside the launcher.
    sldkpack::LauncherModel model = basicModel("4");
    sldkpack::setConfig(model, 122, "com.example.Main");
    sldkpack::setConfig(model, 126, "1.8");
    std::string sequence;
    std::vector<std::string> javaExes;
    StandinRuntimeOptions old;
    old.versionLine = "java version \"1.6.0_45\"";
    for (int i = 1; i <= 4; ++i) {
        const std::string home = toUtf8(scratch.file(L"old" + std::to_wstring(i)));
        if (!layOutStandinRuntime(home, old)) {
            std::printf("cannot lay out %s\n", home.c_str());
            return 1;
        }
        javaExes.push_back(standinJavaExe(home, old));
        sequence += "Aold" + std::to_string(i) + ";";
    }
    const std::string good = toUtf8(scratch.file(L"jre"));
    if (!layOutStandinRuntime(good)) {
        std::printf("cannot lay out %s\n", good.c_str());
        return 1;
    }
    javaExes.push_back(standinJavaExe(good));
    sldkpack::setConfig(model, 128, sequence + "Ajre");
    const std::wstring launcher = buildLauncherFile(kServiceStub, model, scratch.path(), L"bench.exe");
    if (launcher.empty())
        return 1;

    const std::vector<std::pair<std::wstring, std::wstring>> environment = {
        {L"SEALDECK_LOG", L"yes"}, {L"SLDK_TRACE", trace}, {L"SLDK_JAVA_RUNS", javaRuns}};

    // Warms Wine, the file cache and the version cache.
    runOnce(launcher, {L"/run"}, temp, environment, trace, javaRuns);

    const std::vector<std::pair<std::wstring, std::wstring>> quiet = {{L"SLDK_TRACE", trace}};
    std::vector<double> nothing, warm, warmQuiet, toCreate, toCreateQuiet, warmSearch, coldSearch;
    int warmJavaRuns = 0, coldJavaRuns = 0, failures = 0;
    const std::wstring self = testProgramPath();
    for (int i = 0; i < runs; ++i) {
        nothing.push_back(runOnce(self, {L"--nothing"}, temp, {}, trace, javaRuns).wallMs);
        const Run run = runOnce(launcher, {L"/run"}, temp, environment, trace, javaRuns);
        failures += run.exitCode != 0;
        warm.push_back(run.wallMs);
        if (run.toCreateMs >= 0)
            toCreate.push_back(run.toCreateMs);
        if (run.searchMs >= 0)
            warmSearch.push_back(run.searchMs);
        warmJavaRuns += run.javaRuns;
        // The diagnostic log writes every line through; without it the launcher's own cost shows.
        const Run silent = runOnce(launcher, {L"/run"}, temp, quiet, trace, javaRuns);
        failures += silent.exitCode != 0;
        warmQuiet.push_back(silent.wallMs);
        if (silent.toCreateMs >= 0)
            toCreateQuiet.push_back(silent.toCreateMs);
    }
    // A newer last-write time on every candidate makes each cache entry stale.
    int ahead = 10;
    for (int i = 0; i < runs; ++i) {
        for (const std::string& javaExe : javaExes)
            touchFile(javaExe, ahead);
        ahead += 10;
        const Run run = runOnce(launcher, {L"/run"}, temp, environment, trace, javaRuns);
        failures += run.exitCode != 0;
        if (run.searchMs >= 0)
            coldSearch.push_back(run.searchMs);
        coldJavaRuns += run.javaRuns;
    }

    const double nothingMedian = median(nothing);
    const double warmMedian = median(warm);
    std::printf("runs per figure: %d (failed launcher runs: %d)\n", runs, failures);
    std::printf("(a) do-nothing program, median wall time:        %8.1f ms\n", nothingMedian);
    std::printf("    servicelauncher /run, warm cache, median:    %8.1f ms\n", warmMedian);
    std::printf("    difference: %.1f ms, ratio: %.2f\n", warmMedian - nothingMedian,
                nothingMedian > 0 ? warmMedian / nothingMedian : 0.0);
    std::printf("    process creation to JNI_CreateJavaVM, median: %6.1f ms (%zu samples)\n", median(toCreate),
                toCreate.size());
    std::printf("    the same without the diagnostic log: %.1f ms wall (difference %.1f ms, ratio %.2f), "
                "%.1f ms to JNI_CreateJavaVM\n",
                median(warmQuiet), median(warmQuiet) - nothingMedian,
                nothingMedian > 0 ? median(warmQuiet) / nothingMedian : 0.0, median(toCreateQuiet));
    std::printf("(b) search over 5 candidates, warm cache, median: %6.1f ms, java.exe runs per launch: %.1f\n",
                median(warmSearch), static_cast<double>(warmJavaRuns) / runs);
    std::printf("    search over 5 candidates, cold cache, median: %6.1f ms, java.exe runs per launch: %.1f\n",
                median(coldSearch), static_cast<double>(coldJavaRuns) / runs);
    return failures == 0 ? 0 : 1;
}
