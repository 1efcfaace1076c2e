// Writes the seed corpus of option_grammar_fuzz: ".vmoptions" files as users write them.
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
    const bool ok =
        write(seeds / "plain", "# memory\r\n-Xmx512m\r\n  -Dname=\"a b\"  \r\n\r\n") &&
        write(seeds / "includes", "-include-options ${launcher:sys.launcherDirectory}\\more.vmoptions\n"
                                  "-include-options\n-classpath/a lib\\extra.jar\n-classpath/p first.jar\n") &&
        write(seeds / "modules", "--add-opens\njava.base/java.lang=ALL-UNNAMED\n--add-modules\n--patch-module\n") &&
        write(seeds / "classpath", "-classpath a.jar;b.jar\n-classpath\n-classpath/x y\n");
    return seedsWritten(ok, seeds);
}
