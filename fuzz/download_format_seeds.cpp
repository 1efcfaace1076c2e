// Writes the seed corpus of download_format_fuzz: the English texts and a few translations'
// shapes.
#include "fuzz/seed_corpus.h"

int main(int argc, char** argv)
{
    const std::optional<std::filesystem::path> directory = seedDirectory(argc, argv);
    if (!directory)
        return 2;
    const std::filesystem::path& seeds = *directory;
    const bool ok = writeUtf16Seed(seeds / "offer", u"No suitable Java runtime was found.\nPlease download a %S-bit JRE.") &&
                    writeUtf16Seed(seeds / "status", u"%.2f MB of %.2f MB (%.1f%%) at %.1f kb/s") &&
                    writeUtf16Seed(seeds / "flags", u"%-8.3S %%%+#010.4lf %e %G %g") &&
                    writeUtf16Seed(seeds / "stray", u"100% sicher: %*d %n %ls %5");
    return seedsWritten(ok, seeds);
}
