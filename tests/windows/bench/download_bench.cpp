// Runtime download throughput: an installer downloads a large archive from the loopback
// server, and the same bytes are fetched from the same server by a plain socket client
// (the transfer itself) and by WinINet read loops of 16 KiB and 256 KiB (what the read size
// costs). Prints the figures and the ratio; the machines here are shared, so they are read,
// not asserted.
#include <winsock2.h>

#include "testing/bench_support.h"
#include "testing/launcher_run.h"
#include "testing/loopback_http_server.h"

#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A GET over a plain socket, the body discarded; milliseconds, or -1.
double plainTransfer(unsigned short port, const std::string& path, size_t expected)
{
    SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const Stopwatch stopwatch;
    if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        closesocket(client);
        return -1;
    }
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    send(client, request.data(), static_cast<int>(request.size()), 0);
    std::vector<char> buffer(1 << 16);
    size_t received = 0;
    for (int got; (got = recv(client, buffer.data(), static_cast<int>(buffer.size()), 0)) > 0;)
        received += static_cast<size_t>(got);
    const double elapsed = stopwatch.elapsedMs();
    closesocket(client);
    return received >= expected ? elapsed : -1;
}

// InternetOpenUrl and a read loop of the given block size, the body discarded.
double wininetTransfer(const std::wstring& url, DWORD block, size_t expected)
{
    HMODULE wininet = LoadLibraryW(L"wininet.dll");
    const auto open = reinterpret_cast<HINTERNET(WINAPI*)(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD)>(
        GetProcAddress(wininet, "InternetOpenW"));
    const auto openUrl = reinterpret_cast<HINTERNET(WINAPI*)(HINTERNET, LPCWSTR, LPCWSTR, DWORD, DWORD, DWORD_PTR)>(
        GetProcAddress(wininet, "InternetOpenUrlW"));
    const auto read = reinterpret_cast<BOOL(WINAPI*)(HINTERNET, LPVOID, DWORD, LPDWORD)>(
        GetProcAddress(wininet, "InternetReadFile"));
    const auto close = reinterpret_cast<BOOL(WINAPI*)(HINTERNET)>(GetProcAddress(wininet, "InternetCloseHandle"));
    if (!open || !openUrl || !read || !close)
        return -1;
    const Stopwatch stopwatch;
    HINTERNET session = open(L"bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET request = session ? openUrl(session, url.c_str(), nullptr, 0, 0x0C000000, 0) : nullptr;
    std::vector<char> buffer(block);
    size_t received = 0;
    DWORD got = 0;
    while (request && received < expected && read(request, buffer.data(), block, &got) && got > 0)
        received += got;
    const double elapsed = stopwatch.elapsedMs();
    if (request)
        close(request);
    if (session)
        close(session);
    return received == expected ? elapsed : -1;
}

} // namespace

int main(int argc, char** argv)
{
    const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    std::string archive(megabytes << 20, '\0');
    uint32_t state = 0x2468ACE1;
    for (char& byte : archive) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    LoopbackHttpServer server;
    if (!server.listening())
        return 1;
    server.serve("/jre.tar.gz", replyWith(std::move(archive)));
    const size_t size = megabytes << 20;
    const std::wstring url = fromUtf8(server.url("/jre.tar.gz"));

    ScratchDirectory scratch;
    sldkpack::LauncherModel model = basicModel("1");
    sldkpack::setConfig(model, 150, server.url("/jre.tar.gz"));
    sldkpack::setConfig(model, 157, "1");
    const std::wstring launcher = buildLauncherFile(kSetupStub, model, scratch.path(), L"setup.exe");

    std::vector<double> installer, plain, small, large;
    for (int round = 0; round < rounds; ++round) {
        const std::wstring temp = scratch.subdirectory(L"temp" + std::to_wstring(round));
        ProcessOptions options = launcherOptions(temp, {L"-q", L"-manual"}, {{L"SEALDECK_LOG", L"yes"}});
        options.timeoutMs = 600000;
        const LauncherOutcome outcome = runLauncher(launcher, temp, options);
        const std::string log = outcome.logs.empty() ? std::string() : readLog(outcome.logs.front()).value_or(LogFile{}).text;
        const long long begin = logTimeOf(log, "file size: ");
        const long long end = logTimeOf(log, "download successful");
        if (begin < 0 || end < 0) {
            std::printf("the installer did not download (exit %lu)\n%s\n", outcome.process.exitCode, log.c_str());
            return 1;
        }
        installer.push_back(static_cast<double>(end - begin));
        plain.push_back(plainTransfer(server.port(), "/jre.tar.gz", size));
        small.push_back(wininetTransfer(url, 16384, size));
        large.push_back(wininetTransfer(url, 262144, size));
    }
    const auto rate = [&](double ms) { return static_cast<double>(megabytes) * 1000.0 / std::max(ms, 1.0); };
    const double installerMs = medianOf(installer), plainMs = medianOf(plain);
    const double smallMs = medianOf(small), largeMs = medianOf(large);
    std::printf("runtime download, %zu MB from 127.0.0.1, median of %d rounds\n", megabytes, rounds);
    std::printf("  installer (16 KiB reads, to disk): %8.0f ms  (%7.1f MB/s)\n", installerMs, rate(installerMs));
    std::printf("  plain socket (discarded):          %8.0f ms  (%7.1f MB/s)\n", plainMs, rate(plainMs));
    std::printf("  WinINet 16 KiB reads (discarded):  %8.0f ms  (%7.1f MB/s)\n", smallMs, rate(smallMs));
    std::printf("  WinINet 256 KiB reads (discarded): %8.0f ms  (%7.1f MB/s)\n", largeMs, rate(largeMs));
    std::printf("  ratio installer / plain: %.2f (aim: 1.5 or below)\n", installerMs / std::max(plainMs, 1.0));
    std::printf("  ratio 16 KiB / 256 KiB reads: %.2f\n", smallMs / std::max(largeMs, 1.0));
    return 0;
}
