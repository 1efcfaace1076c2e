// Writes the seed corpus of multi_string_fuzz: lists as the registry stores them, and cut.
#include <string_view>

#include "fuzz/seed_corpus.h"

int main(int argc, char** argv)
{
    const std::optional<std::filesystem::path> directory = seedDirectory(argc, argv);
    if (!directory)
        return 2;
    const std::filesystem::path& seeds = *directory;
    using namespace std::string_view_literals;
    const bool ok = writeUtf16Seed(seeds / "list", u"first\0second\0\0"sv) &&
                    writeUtf16Seed(seeds / "unterminated", u"ab"sv) &&
                    writeUtf16Seed(seeds / "empty_items", u"\0\0a\0\0\0b"sv) &&
                    writeSeed(seeds / "odd", "a\0b\0c", 5);
    return seedsWritten(ok, seeds);
}
