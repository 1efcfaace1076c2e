// Payload extraction throughput: a service launcher extracts one large included file, and
// the same bytes are copied with CopyFileW on the same machine. Prints both and their ratio;
// the machines here are shared, so the figures are read, not asserted.
#include "testing/bench_support.h"
#include "testing/launcher_run.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    ScratchDirectory scratch;

    std::vector<uint8_t> payload(megabytes << 20);
    uint32_t state = 0x12345678;
    for (uint8_t& byte : payload) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    const std::wstring source = scratch.file(L"payload.bin");
    if (!writeFileBytes(source, payload)) {
        std::printf("cannot write %zu MB of test data\n", megabytes);
        return 1;
    }
    sldkpack::LauncherModel model = basicModel("4");
    model.files.push_back(sldkpack::IncludedFile{"payload.bin", std::move(payload)});
    const std::wstring launcher = buildLauncherFile(kServiceStub, model, scratch.path(), L"service.exe");
    if (launcher.empty())
        return 1;

    std::vector<double> extraction;
    std::vector<double> copy;
    for (int round = 0; round < rounds; ++round) {
        const std::wstring temp = scratch.subdirectory(L"temp" + std::to_wstring(round));
        ProcessOptions options = launcherOptions(temp, {L"/run"}, {{L"SEALDECK_LOG", L"yes"}});
        options.timeoutMs = 600000;
        const LauncherOutcome outcome = runLauncher(launcher, temp, options);
        const std::string log = outcome.logs.empty() ? std::string() : readLog(outcome.logs.front()).value_or(LogFile{}).text;
        const long long begin = logTimeOf(log, "extracting files");
        const long long end = logTimeOf(log, "extracting files done");
        if (begin < 0 || end < 0) {
            std::printf("the launcher did not extract (exit %lu)\n%s\n", outcome.process.exitCode, log.c_str());
            return 1;
        }
        extraction.push_back(static_cast<double>(end - begin));

        const std::wstring target = scratch.file(L"copy" + std::to_wstring(round) + L".bin");
        const Stopwatch stopwatch;
        CopyFileW(source.c_str(), target.c_str(), FALSE);
        copy.push_back(stopwatch.elapsedMs());
        DeleteFileW(target.c_str());
    }

    const double extractionMs = medianOf(extraction);
    const double copyMs = medianOf(copy);
    std::printf("payload extraction, %zu MB, median of %d rounds\n", megabytes, rounds);
    std::printf("  extraction: %8.0f ms  (%6.1f MB/s)\n", extractionMs, megabytes * 1000.0 / std::max(extractionMs, 1.0));
    std::printf("  file copy:  %8.0f ms  (%6.1f MB/s)\n", copyMs, megabytes * 1000.0 / std::max(copyMs, 1.0));
    std::printf("  ratio extraction / copy: %.2f (aim: 1.5 or below)\n", extractionMs / std::max(copyMs, 1.0));
    return 0;
}
