// Untar throughput of the runtime archive: makes a runtime-like archive of about 150 MB
// (many small files and a few large ones, half of them random, half compressible), then
// times untarArchive unpacking it into a fresh folder. untar_bench.sh runs this program and
// GNU tar on the same archive in the same run and prints the ratio.
//   untar_bench DIRECTORY [ROUNDS]   (the archive is DIRECTORY\runtime.tar.gz)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/tar_test_archive.h"
#include "setuplauncher/windows/untar_archive.h"
#include "testing/test_files.h"

namespace {

uint32_t g_random = 0x2545F491;

uint32_t nextRandom()
{
    g_random ^= g_random << 13;
    g_random ^= g_random >> 17;
    g_random ^= g_random << 5;
    return g_random;
}

// Random bytes, or words of a small vocabulary as in class files and texts (about 4:1).
std::string content(size_t size, bool compressible)
{
    static const char* const words[] = {"java/lang/", "Object", "String", "(Ljava/util/Map;)V", "<init>", "Code",
                                        "LineNumberTable", " ", "\n", "sun/nio/", "Exception", "get", "set"};
    std::string data;
    data.reserve(size + 32);
    while (data.size() < size) {
        if (compressible) {
            const uint32_t r = nextRandom();
            data += words[r % 13];
            if (r % 7 == 0)
                data += static_cast<char>(r >> 24);
        } else {
            const uint32_t r = nextRandom();
            data.append(reinterpret_cast<const char*>(&r), 4);
        }
    }
    data.resize(size);
    return data;
}

std::string makeArchive(size_t& files, size_t& bytes)
{
    TestTar tar;
    const size_t large[] = {30u << 20, 20u << 20, 15u << 20};
    tar.directory("lib/");
    for (size_t i = 0; i < 3; ++i) {
        tar.file("lib/large" + std::to_string(i) + ".bin", content(large[i], i != 0));
        bytes += large[i];
    }
    for (int d = 0; d < 40; ++d) {
        const std::string directory = "lib/d" + std::to_string(d) + "/";
        tar.directory(directory);
        for (int f = 0; f < 20; ++f) {
            const size_t size = 1024 + nextRandom() % (210 << 10);
            tar.file(directory + "f" + std::to_string(f) + ".class", content(size, nextRandom() % 2 == 0));
            bytes += size;
            ++files;
        }
    }
    files += 3;
    return TestTar::gzip(tar.end().bytes(), 6);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: untar_bench DIRECTORY [ROUNDS]\n");
        return 2;
    }
    const std::string directory = argv[1];
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string archive = directory + "\\runtime.tar.gz";
    const std::string target = directory + "\\untar";
    size_t files = 0;
    size_t bytes = 0;
    const std::string gz = makeArchive(files, bytes);
    if (!writeTextFile(archive, gz)) {
        std::fprintf(stderr, "could not write %s\n", archive.c_str());
        return 1;
    }
    std::printf("archive: %zu files, %.1f MB, %.1f MB compressed\n", files, bytes / 1048576.0, gz.size() / 1048576.0);

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        removeDirectoryTree(target);
        CreateDirectoryA(target.c_str(), nullptr);
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        const bool ok = untarArchive(archive.c_str(), target.c_str(), nullptr, 0);
        QueryPerformanceCounter(&end);
        if (!ok) {
            std::fprintf(stderr, "untarArchive failed\n");
            return 1;
        }
        times.push_back((end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart);
        std::printf("untarArchive round %d: %.0f ms\n", round + 1, times.back());
    }
    removeDirectoryTree(target);
    std::sort(times.begin(), times.end());
    std::printf("untarArchive median: %.0f ms\n", times[times.size() / 2]);
    return 0;
}
