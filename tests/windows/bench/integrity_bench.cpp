// Integrity check throughput: an installer checks a large appended data block, and the same
// bytes are read sequentially by this program on the same machine. Prints both and their
// ratio; the machines here are shared, so the figures are read, not asserted.
#include "testing/bench_support.h"
#include "testing/launcher_run.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A plain read of length bytes from offset in 1 MiB blocks; the milliseconds it took, or -1.
double plainRead(const std::wstring& path, uint64_t offset, uint64_t length)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    const Stopwatch stopwatch;
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    SetFilePointerEx(file, position, nullptr, FILE_BEGIN);
    std::vector<uint8_t> block(1 << 20);
    uint64_t done = 0;
    while (done < length) {
        DWORD got = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<uint64_t>(block.size(), length - done));
        if (!ReadFile(file, block.data(), wanted, &got, nullptr) || got == 0)
            break;
        done += got;
    }
    const double elapsed = stopwatch.elapsedMs();
    CloseHandle(file);
    return done == length ? elapsed : -1;
}

} // namespace

int main(int argc, char** argv)
{
    const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 500;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    ScratchDirectory scratch;

    sldkpack::LauncherModel model = basicModel("1");
    model.integrityCheck = true;
    model.trailer.resize(megabytes << 20);
    uint32_t state = 0x12345678;
    for (uint8_t& byte : model.trailer) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    const std::wstring launcher = buildLauncherFile(kSetupStub, model, scratch.path(), L"setup.exe");
    model.trailer.clear();
    model.trailer.shrink_to_fit();
    const auto layout = launcher.empty() ? std::nullopt : describeAppendedData(launcher);
    if (!layout)
        return 1;
    const uint64_t coveredStart = layout->appendedStart + 20;
    const uint64_t coveredLength = layout->payloadStart - coveredStart + (megabytes << 20);

    std::vector<double> check;
    std::vector<double> read;
    for (int round = 0; round < rounds; ++round) {
        const std::wstring temp = scratch.subdirectory(L"temp" + std::to_wstring(round));
        ProcessOptions options = launcherOptions(temp, {L"-q"}, {{L"SEALDECK_LOG", L"yes"}});
        options.timeoutMs = 600000;
        const LauncherOutcome outcome = runLauncher(launcher, temp, options);
        const std::string log = outcome.logs.empty() ? std::string() : readLog(outcome.logs.front()).value_or(LogFile{}).text;
        const long long begin = logTimeOf(log, "verifying integrity length");
        const long long end = logTimeOf(log, "checksums:");
        if (begin < 0 || end < 0) {
            std::printf("the installer did not check its data (exit %lu)\n%s\n", outcome.process.exitCode, log.c_str());
            return 1;
        }
        check.push_back(static_cast<double>(end - begin));
        const double readMs = plainRead(launcher, coveredStart, coveredLength);
        if (readMs < 0) {
            std::printf("cannot read the installer back\n");
            return 1;
        }
        read.push_back(readMs);
    }

    const double checkMs = medianOf(check);
    const double readMs = medianOf(read);
    const double gigabytes = static_cast<double>(coveredLength) / (1 << 30);
    std::printf("integrity check, %zu MB, median of %d rounds\n", megabytes, rounds);
    std::printf("  check:      %8.0f ms  (%6.2f GB/s)\n", checkMs, gigabytes * 1000.0 / std::max(checkMs, 1.0));
    std::printf("  plain read: %8.0f ms  (%6.2f GB/s)\n", readMs, gigabytes * 1000.0 / std::max(readMs, 1.0));
    std::printf("  ratio check / read: %.2f (aim: 1 GB/s, or 1.2 or below)\n", checkMs / std::max(readMs, 1.0));
    return 0;
}
