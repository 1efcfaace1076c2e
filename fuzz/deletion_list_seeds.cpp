// Writes the seed corpus of deletion_list_fuzz: a few lists as the installer writes them.
#include "fuzz/seed_corpus.h"

int main(int argc, char** argv)
{
    const std::optional<std::filesystem::path> directory = seedDirectory(argc, argv);
    if (!directory)
        return 2;
    const std::filesystem::path& seeds = *directory;

    // Lines just past the text and the name bounds, for mutations around them.
    const std::u16string longLines = u"s\nreboot_deletion\n" + std::u16string(9000, u'q') + u"\nEOSMARKER\nw\n" +
                                     u"EOSMARKER\n" + std::u16string(32768, u'p') + u"\nC:\\f\n";
    const bool ok =
        writeUtf16Seed(seeds / "long_lines", longLines) &&
        writeUtf16Seed(seeds / "reboot_deletion",
              u"sldk_instance\r\nreboot_deletion\r\nSome files are in use.\r\n\r\nRestart now?\r\nEOSMARKER\r\n"
              u"The restart failed.\r\nEOSMARKER\r\nC:\\app\\lib\\a.jar\r\nC:\\Users\\u\\vxn1.tmp_dir\\b.dll\r\n"
              u"\r\nC:\\app\\lib\r\n\r\nC:\\app\r\n") &&
        writeUtf16Seed(seeds / "force_reboot_lf", u"\xFEFF\nforce_reboot\nEOSMARKER\nRestart failed\nEOSMARKER\nC:\\x\n") &&
        writeUtf16Seed(seeds / "no_marker", u"s\nnone\nquestion without end\n\nC:\\d\n") &&
        writeUtf16Seed(seeds / "surrogates", u"s\nm\n\xD83D\xDE00\xD83D\xDE00\xD83D\xDE00\nEOSMARKER\n\xDC00\nEOSMARKER\n");
    return seedsWritten(ok, seeds);
}
