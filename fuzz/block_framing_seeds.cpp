// Writes the seed corpus of block_framing_fuzz: a piece size, then blocks as the peer sends
// them (empty, small, several in a row, one cut short).
#include "fuzz/seed_corpus.h"

int main(int argc, char** argv)
{
    const std::optional<std::filesystem::path> directory = seedDirectory(argc, argv);
    if (!directory)
        return 2;
    const std::filesystem::path& seeds = *directory;
    const bool ok = writeSeed(seeds / "empty", "\x03\0\0\0\0", 5) &&
                    writeSeed(seeds / "two", "\x01\x03\0\0\0abc\x01\0\0\0z", 13) &&
                    writeSeed(seeds / "cut", "\x06\x10\0\0\0short", 10) &&
                    writeSeed(seeds / "huge_length", "\x00\xff\xff\xff\x7f", 5);
    return seedsWritten(ok, seeds);
}
