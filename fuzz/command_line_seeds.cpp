// Writes the seed corpus of command_line_fuzz: command lines as Windows and the
// configuration's argument texts hand them over.
#include "fuzz/seed_corpus.h"

int main(int argc, char** argv)
{
    const std::optional<std::filesystem::path> directory = seedDirectory(argc, argv);
    if (!directory)
        return 2;
    const std::filesystem::path& seeds = *directory;
    const bool ok = writeUtf16Seed(seeds / "program", u"\"C:\\Program Files\\app\\app.exe\" /run a b") &&
                    writeUtf16Seed(seeds / "quotes", u"-Da=\"x y\" 'it\"s' \"\" '' pre\"fix\"post") &&
                    writeUtf16Seed(seeds / "open_quote", u"one  two 'three four") &&
                    writeUtf16Seed(seeds / "blanks", u"  \t a\tb  ");
    return seedsWritten(ok, seeds);
}
