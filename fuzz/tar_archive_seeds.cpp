// Writes the seed corpus of tar_archive_fuzz: small runtime-like archives, plain and gzip.
#include <string>

#include "fuzz/seed_corpus.h"
#include "fuzz/tar_test_archive.h"

int main(int argc, char** argv)
{
    const auto seeds = seedDirectory(argc, argv);
    if (!seeds)
        return 2;
    TestTar runtime;
    runtime.directory("bin/").file("bin/jvm.dll", std::string(700, 'j')).member("bin/link", '2');
    runtime.longFile("lib/" + std::string(120, 'l') + ".jar", "PK").end();
    const TestTar tars[] = {
        runtime,
        TestTar().file("only", "no end blocks"),
        TestTar().directory("d").end(),
        TestTar().member("f", '0', "x", "   1750 \0\0\0\0").end(),
    };
    bool ok = true;
    int n = 0;
    for (const TestTar& tar : tars) {
        ok = ok && writeSeed(*seeds / ("plain" + std::to_string(n)), tar.bytes().data(), tar.bytes().size());
        const std::string gz = tar.gzipped();
        ok = ok && writeSeed(*seeds / ("gzip" + std::to_string(n++)), gz.data(), gz.size());
    }
    return seedsWritten(ok, *seeds);
}
