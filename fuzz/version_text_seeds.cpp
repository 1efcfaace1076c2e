// Writes the seed corpus of version_text_fuzz: "java -version" outputs of several runtimes,
// and version pairs around a NUL.
#include <string_view>

#include "fuzz/seed_corpus.h"

int main(int argc, char** argv)
{
    const std::optional<std::filesystem::path> directory = seedDirectory(argc, argv);
    if (!directory)
        return 2;
    const std::filesystem::path& seeds = *directory;
    using namespace std::string_view_literals;
    const bool ok =
        writeTextSeed(seeds / "openjdk", "openjdk version \"11.0.2\" 2019-01-15\nOpenJDK Runtime Environment 18.9\n") &&
        writeTextSeed(seeds / "banner", "Picked up _JAVA_OPTIONS: -Xmx1g\r\njava version \"1.8.0_181\"\r\n") &&
        writeTextSeed(seeds / "early_access", "openjdk version \"22-ea\" 2024-03-19\n") &&
        writeTextSeed(seeds / "pair", "1.8.0_181-b13\0" "17.0.2+8"sv) &&
        writeTextSeed(seeds / "large", "99999999999.-5..+7__1\0" "2147483647.2147483648"sv);
    return seedsWritten(ok, seeds);
}
