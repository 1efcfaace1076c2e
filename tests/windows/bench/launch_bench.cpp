// Start-up figures of the service launcher under Wine, printed for the README:
//   (a) a do-nothing program against "servicelauncher /run" whose stand-in main returns at
//       once, with a warm version cache: medians of the wall time, their difference and
//       ratio, and the time from process creation to the JNI_CreateJavaVM call;
//   (b) the runtime search over five candidates (four runtimes too old, then the good
//       one) with a warm and a cold version cache, and the java.exe runs each start made;
//   (c) with a relay trace file (see launch_bench.sh), the phases from process creation to
//       JNI_CreateJavaVM of "servicelauncher /run" and of a quiet setuplauncher with an
//       installed runtime, both with a warm cache, against do-nothing programs built as the
//       launchers are (one with the launcher's import table, one importing kernel32 only).
// Run: ctest --preset windows -L bench -R launch -V, or
//      tests/windows/bench/launch_bench.sh <build>/bin/launch_bench.exe <build> [runs]
#include "testing/launcher_run.h"
#include "testing/standin_runtime.h"
#include "launch_phases.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <optional>
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
    double startMs = 0; // the counter before CreateProcess, in ms
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
    run.startMs = start;
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

// The relay trace Wine wrote to our standard error (a file, see launch_bench.sh) since the
// last call.
class TraceFile {
public:
    explicit TraceFile(std::wstring path) : path_(std::move(path)) { take(); }
    bool usable() const { return !path_.empty(); }
    std::string take()
    {
        const std::string all = fileText(path_);
        std::string fresh = all.size() > read_ ? all.substr(read_) : std::string();
        read_ = all.size();
        return fresh;
    }

private:
    std::wstring path_;
    size_t read_ = 0;
};

// RelayInclude of this prefix: with it set, +relay traces only the marker functions.
void setRelayFilter(const wchar_t* functions)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Debug", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    if (functions)
        RegSetValueExW(key, L"RelayInclude", 0, REG_SZ, reinterpret_cast<const BYTE*>(functions),
                       static_cast<DWORD>((wcslen(functions) + 1) * sizeof(wchar_t)));
    else
        RegDeleteValueW(key, L"RelayInclude");
    RegCloseKey(key);
}

struct Launch {
    const char* title;
    std::wstring program;
    std::vector<std::wstring> arguments;
    std::vector<std::pair<std::wstring, std::wstring>> environment;
    std::wstring twin; // the do-nothing program with the same import table
};

struct PhaseSamples {
    std::array<std::vector<double>, kPhaseCount> ms;
    std::vector<double> entryToVm;
    std::vector<double> endsOnly; // entry to JNI_CreateJavaVM with only the two ends traced
    PhaseBreakdown counted; // from the run traced in full
    int unsplit = 0;
    std::string missing;
};

// The mean of the middle half: finer than the median of whole-millisecond samples, and
// deaf to the runs another developer's build slowed down.
double mean(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t quarter = values.size() / 4;
    double sum = 0;
    for (size_t i = quarter; i < values.size() - quarter; ++i)
        sum += values[i];
    return sum / static_cast<double>(values.size() - 2 * quarter);
}

// The loader's share comes from the untraced runs: relay tracing slows the loading of every
// module, so its traced figure says little; the phases after our entry are traced.
void printBreakdown(const Launch& launch, const PhaseSamples& samples, double precise, double twin, double kernel32)
{
    std::printf("\n%s: %zu traced runs%s%s\n", launch.title, samples.entryToVm.size(),
                samples.unsplit ? ", not split: " : "", samples.missing.c_str());
    std::printf("  %-37s %7s %7s %6s %5s %5s %6s %5s\n", "phase", "median", "iqmean", "share", "reg", "open", "exists",
                "dlls");
    std::array<double, kPhaseCount> means{};
    for (int p = 0; p < kPhaseCount; ++p)
        means[p] = mean(samples.ms[p]);
    means[kLoaderAndRuntime] = std::max(0.0, precise - mean(samples.endsOnly));
    double total = 0;
    for (double m : means)
        total += m;
    for (int p = 0; p < kPhaseCount; ++p) {
        const PhaseCounts& c = samples.counted.counts[p];
        const double shown = p == kLoaderAndRuntime ? means[p] : median(samples.ms[p]);
        std::printf("  %-37s %7.1f %7.2f %5.1f%% %5d %5d %6d %5d\n", phaseName(static_cast<Phase>(p)), shown,
                    means[p], total > 0 ? 100.0 * means[p] / total : 0.0, c.registryCalls, c.fileOpens,
                    c.existenceChecks, c.dllLoads);
    }
    std::printf("  %-37s %7.1f %7.2f   (the phases above, with every marker traced)\n",
                "our entry to JNI_CreateJavaVM", median(samples.entryToVm), mean(samples.entryToVm));
    std::printf("  %-37s %7.1f %7.2f   (only the two ends traced, %zu runs)\n", "our entry to JNI_CreateJavaVM",
                median(samples.endsOnly), mean(samples.endsOnly), samples.endsOnly.size());
    std::printf("  creation to JNI_CreateJavaVM (untraced) %.1f ms; do-nothing with the same imports %.1f ms "
                "(ratio %.2f); kernel32-only %.1f ms (ratio %.2f)\n",
                precise, twin, twin > 0 ? precise / twin : 0.0, kernel32, kernel32 > 0 ? precise / kernel32 : 0.0);
}

// (c): every launch and baseline once per round, untraced; then traced with the marker
// filter for the phase times, and once traced in full for the call counts.
int phaseBreakdown(const ScratchDirectory& scratch, const sldkpack::LauncherModel& serviceModel,
                   const std::wstring& service, const std::wstring& temp, const std::wstring& trace,
                   const std::wstring& javaRuns, int runs, const std::wstring& tracePath)
{
    TraceFile traceFile(tracePath);
    sldkpack::LauncherModel model = basicModel("1");
    sldkpack::setConfig(model, 122, "com.example.Setup");
    sldkpack::setConfig(model, 128, "Ajre");
    sldkpack::setConfig(model, 166, "1");
    const std::string jar = "the application's jar";
    model.files.push_back(sldkpack::IncludedFile{"app.jar", std::vector<uint8_t>(jar.begin(), jar.end())});
    const std::wstring setup = buildLauncherFile(kSetupStub, model, scratch.path(), L"setup.exe");
    if (setup.empty() || !writeTextFile(scratch.file(L"setup.vmoptions"), "-Xmx64m\r\n-Dbench.setup=1\r\n"))
        return 1;

    const std::wstring bin = testProgramPath().substr(0, testProgramPath().find_last_of(L'\\') + 1);
    const std::wstring kernel32Only = bin + L"bench_nothing_kernel32.exe";
    const std::vector<std::pair<std::wstring, std::wstring>> quiet = {{L"SLDK_TRACE", trace}};
    const std::vector<std::pair<std::wstring, std::wstring>> kept = {{L"SEALDECK_LOG", L"yes"}, {L"SLDK_TRACE", trace}};
    std::vector<Launch> launches = {
        {"servicelauncher /run, warm cache", service, {L"/run"}, quiet, bin + L"bench_nothing_servicelauncher.exe"},
        {"servicelauncher /run, warm cache, log kept", service, {L"/run"}, kept,
         bin + L"bench_nothing_servicelauncher.exe"},
        {"setuplauncher -q, installed runtime, warm cache", setup, {L"-q"}, quiet,
         bin + L"bench_nothing_setuplauncher.exe"},
    };
    // Stubs of an earlier build beside ours ("earlier_*.exe", see launch_bench.sh) run in the
    // same rounds, so a change is measured against its predecessor under the same load.
    const std::wstring earlierService = bin + L"earlier_servicelauncher.exe";
    if (GetFileAttributesW(earlierService.c_str()) != INVALID_FILE_ATTRIBUTES) {
        const std::wstring earlier = buildLauncherFile(L"earlier_servicelauncher.exe", serviceModel, scratch.path(),
                                                       L"earlier_bench.exe");
        const std::wstring earlierSetup =
            buildLauncherFile(L"earlier_setuplauncher.exe", model, scratch.path(), L"earlier_setup.exe");
        if (earlier.empty() || earlierSetup.empty() ||
            !writeTextFile(scratch.file(L"earlier_bench.vmoptions"), "-Xmx64m\r\n-Dbench.service=1\r\n") ||
            !writeTextFile(scratch.file(L"earlier_setup.vmoptions"), "-Xmx64m\r\n-Dbench.setup=1\r\n"))
            return 1;
        launches.push_back({"EARLIER BUILD servicelauncher /run, warm cache", earlier, {L"/run"}, quiet, launches[0].twin});
        launches.push_back({"EARLIER BUILD servicelauncher /run, warm cache, log kept", earlier, {L"/run"}, kept,
                            launches[0].twin});
        launches.push_back({"EARLIER BUILD setuplauncher -q, installed runtime, warm cache", earlierSetup, {L"-q"},
                            quiet, launches[2].twin});
    }
    int failures = 0;
    for (const Launch& launch : launches)
        failures += runOnce(launch.program, launch.arguments, temp, launch.environment, trace, javaRuns).exitCode != 0;

    const std::wstring withoutUser32 = bin + L"bench_nothing_servicelauncher_no_user32.exe";
    std::vector<double> kernel32Wall, withoutUser32Wall;
    std::vector<std::vector<double>> twinWall(launches.size()), toCreate(launches.size());
    std::vector<PhaseSamples> samples(launches.size());
    const auto traced = [&](size_t l) {
        auto environment = launches[l].environment;
        environment.push_back({L"WINEDEBUG", L"+timestamp,+relay,+loaddll"});
        const Run run = runOnce(launches[l].program, launches[l].arguments, temp, environment, trace, javaRuns);
        failures += run.exitCode != 0;
        return run;
    };
    // Each round runs every program once untraced and every launch twice more: traced at its
    // two ends only, then with every marker. The trace filter is read when a process starts,
    // so it can change between runs.
    for (int i = 0; i < runs; ++i) {
        kernel32Wall.push_back(runOnce(kernel32Only, {}, temp, {}, trace, javaRuns).wallMs);
        withoutUser32Wall.push_back(runOnce(withoutUser32, {}, temp, {}, trace, javaRuns).wallMs);
        for (size_t l = 0; l < launches.size(); ++l) {
            twinWall[l].push_back(runOnce(launches[l].twin, {}, temp, {}, trace, javaRuns).wallMs);
            const Run run = runOnce(launches[l].program, launches[l].arguments, temp, launches[l].environment, trace,
                                    javaRuns);
            failures += run.exitCode != 0;
            if (run.toCreateMs >= 0)
                toCreate[l].push_back(run.toCreateMs);
            if (!traceFile.usable())
                continue;
            setRelayFilter(relayEndFunctions());
            traced(l);
            if (const auto ends = entryToVm(traceFile.take()))
                samples[l].endsOnly.push_back(*ends);
            setRelayFilter(relayMarkerFunctions());
            const Run markers = traced(l);
            std::string missing;
            if (const auto split = splitPhases(traceFile.take(), markers.startMs, missing)) {
                for (int p = 0; p < kPhaseCount; ++p)
                    samples[l].ms[p].push_back(split->ms[p]);
                samples[l].entryToVm.push_back(split->entryToVmMs);
            } else {
                ++samples[l].unsplit;
                samples[l].missing = missing;
            }
        }
    }
    if (!traceFile.usable()) {
        std::printf("(c) no trace file: phases not measured\n");
        return failures;
    }
    setRelayFilter(nullptr);
    for (size_t l = 0; l < launches.size(); ++l) {
        const Run run = traced(l);
        std::string missing;
        if (const auto split = splitPhases(traceFile.take(), run.startMs, missing)) {
            samples[l].counted = *split;
        }
    }

    std::printf("\n(c) phases from process creation to JNI_CreateJavaVM, in ms: medians and interquartile means of the "
                "runs traced with the marker filter (the trace clock counts whole ms, so the mean is the finer "
                "figure; the loader row is the untraced creation-to-VM median less the mean of entry to VM traced at "
                "its two ends); calls made in each phase from one "
                "run traced in full: registry calls, file opens and existence checks by the launcher, DLLs the "
                "loader mapped\n");
    for (size_t l = 0; l < launches.size(); ++l)
        printBreakdown(launches[l], samples[l], median(toCreate[l]), median(twinWall[l]), median(kernel32Wall));
    std::printf("\ndo-nothing programs, median wall time: kernel32 only %.1f ms; servicelauncher's imports %.1f ms, "
                "without user32 %.1f ms; setuplauncher's imports %.1f ms\n",
                median(kernel32Wall), median(twinWall[0]), median(withoutUser32Wall), median(twinWall[2]));
    return failures;
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
    sldkpack::setConfig(model, 166, "1");
    const std::wstring launcher = buildLauncherFile(kServiceStub, model, scratch.path(), L"bench.exe");
    if (launcher.empty() || !writeTextFile(scratch.file(L"bench.vmoptions"), "-Xmx64m\r\n-Dbench.service=1\r\n"))
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
    if (argc > 2)
        failures += phaseBreakdown(scratch, model, launcher, temp, trace, javaRuns, runs, fromUtf8(argv[2]));
    return failures == 0 ? 0 : 1;
}
