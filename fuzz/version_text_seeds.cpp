// Writes the seed corpus of version_text_fuzz: "java -version" outputs of several runtimes,
// and version pairs around a NUL.
#include <string_view>

#include "fuzz/seed_corpus.h"

namespace {

bool write(const std::filesystem::path& file, std::string_view text)
{
    return writeSeed(file, text.data(), text.size());
}

} // namespace

int main(int argc, char** argv)
{
    const std::optional<std::filesystem::path> directory = seedDirectory(argc, argv);
    if (!directory)
        return 2;
    const std::filesystem::path& seeds = *directory;
    using namespace std::string_view_literals;
    const bool ok =
        write(seeds / "openjdk", "openjdk version \"11.0.2\" 2019-01-15\nOpenJDK Runtime Environment 18.9\n") &&
        write(seeds / "banner", "Picked up _JAVA_OPTIONS: -Xmx1g\r\njava version \"1.8.0_181\"\r\n") &&
        write(seeds / "early_access", "openjdk version \"22-ea\" 2024-03-19\n") &&
        write(seeds / "pair", "1.8.0_181-b13\0" "17.0.2+8"sv) &&
        write(seeds / "large", "99999999999.-5..+7__1\0" "2147483647.2147483648"sv);
    return seedsWritten(ok, seeds);
}
