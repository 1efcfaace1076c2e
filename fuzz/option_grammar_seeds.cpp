// Writes the seed corpus of option_grammar_fuzz: ".vmoptions" files as users write them.
#include <string_view>

#include "fuzz/seed_corpus.h"

int main(int argc, char** argv)
{
    const std::optional<std::filesystem::path> directory = seedDirectory(argc, argv);
    if (!directory)
        return 2;
    const std::filesystem::path& seeds = *directory;
    const bool ok =
        writeTextSeed(seeds / "plain", "# memory\r\n-Xmx512m\r\n  -Dname=\"a b\"  \r\n\r\n") &&
        writeTextSeed(seeds / "includes", "-include-options ${launcher:sys.launcherDirectory}\\more.vmoptions\n"
                                  "-include-options\n-classpath/a lib\\extra.jar\n-classpath/p first.jar\n") &&
        writeTextSeed(seeds / "modules", "--add-opens\njava.base/java.lang=ALL-UNNAMED\n--add-modules\n--patch-module\n") &&
        writeTextSeed(seeds / "classpath", "-classpath a.jar;b.jar\n-classpath\n-classpath/x y\n");
    return seedsWritten(ok, seeds);
}
