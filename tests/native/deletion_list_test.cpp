#include "setuplauncher/deletion_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launchcore/text.h"

namespace {

using Lines = std::vector<std::u16string>;

std::string bytesOf(std::u16string_view text)
{
    std::string bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

std::u16string joined(const Lines& lines, std::u16string_view end = u"\r\n")
{
    std::u16string text;
    for (const std::u16string& line : lines)
        text += line + std::u16string(end);
    return text;
}

DeletionList parse(const std::string& bytes)
{
    return parseDeletionList(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string describe(const DeletionList& list)
{
    std::string text = "sem=" + toUtf8(list.semaphoreName) + " del=" + std::to_string(list.rebootDeletion) +
                       " force=" + std::to_string(list.forceReboot) + " q=" + toUtf8(list.rebootQuestion) +
                       " w=" + toUtf8(list.rebootWarning) + " files=";
    for (const auto& file : list.files)
        text += "[" + toUtf8(file) + "]";
    text += " dirs=";
    for (const auto& dir : list.directories)
        text += "[" + toUtf8(dir) + "]";
    return text;
}

TEST(DeletionList, Sections)
{
    struct Case {
        const char* name;
        std::string bytes;
        DeletionList expected;
    };
    const std::u16string full = joined({u"sldk_sem", u"reboot_deletion", u"Reboot now?", u"EOSMARKER",
                                        u"Reboot failed", u"EOSMARKER", u"C:\\a.txt", u"C:\\b.txt", u"",
                                        u"C:\\d1", u"", u"", u"C:\\d2"});
    const DeletionList fullList{u"sldk_sem", true, false, u"Reboot now?", u"Reboot failed",
                                {u"C:\\a.txt", u"C:\\b.txt"}, {u"C:\\d1", u"C:\\d2"}};
    const Case cases[] = {
        {"full list", bytesOf(full), fullList},
        {"LF line ends, byte-order mark, odd byte", bytesOf(u"\xFEFF" + joined({u"sldk_sem", u"reboot_deletion",
             u"Reboot now?", u"EOSMARKER", u"Reboot failed", u"EOSMARKER", u"C:\\a.txt", u"C:\\b.txt", u"",
             u"C:\\d1", u"", u"", u"C:\\d2"}, u"\n")) + "\x41", fullList},
        {"only the first byte-order mark goes", bytesOf(u"\xFEFF\xFEFFs\r\n"), {u"\xFEFFs", false, false, u"", u"", {}, {}}},
        {"no final line end", bytesOf(u"s\r\nx\r\nEOSMARKER\r\nEOSMARKER\r\nf"), {u"s", false, false, u"", u"", {u"f"}, {}}},
        {"empty first line: no semaphore", bytesOf(joined({u"", u"force_reboot", u"EOSMARKER", u"EOSMARKER", u"f"})),
         {u"", true, true, u"", u"", {u"f"}, {}}},
        {"CR alone is an empty line", bytesOf(u"\r\nforce_reboot\r\nEOSMARKER\r\nEOSMARKER\r\n\r\r\nd"),
         {u"", true, true, u"", u"", {}, {u"d"}}},
        {"other modes set no flag", bytesOf(joined({u"s", u"Force_Reboot", u"EOSMARKER", u"EOSMARKER", u"f"})),
         {u"s", false, false, u"", u"", {u"f"}, {}}},
        {"empty lines inside the texts", bytesOf(joined({u"s", u"m", u"Line one", u"", u"line three", u"EOSMARKER",
             u"", u"warn", u"", u"EOSMARKER", u"f"})),
         {u"s", false, false, u"Line one\n\nline three", u"\nwarn\n", {u"f"}, {}}},
        {"a marker only has to begin the line", bytesOf(joined({u"s", u"m", u"question", u"EOSMARKER.", u"warning",
             u"EOSMARKERx", u"f"})), {u"s", false, false, u"question", u"warning", {u"f"}, {}}},
        {"texts of 5 units are absent, 6 present", bytesOf(joined({u"s", u"m", u"12345", u"EOSMARKER", u"123456",
             u"EOSMARKER"})), {u"s", false, false, u"", u"123456", {}, {}}},
        {"joined lines count with their separators", bytesOf(joined({u"s", u"m", u"ab", u"cd", u"EOSMARKER", u"ab",
             u"cde", u"EOSMARKER"})), {u"s", false, false, u"", u"ab\ncde", {}, {}}},
        {"no second marker: no files", bytesOf(joined({u"s", u"reboot_deletion", u"question", u"EOSMARKER", u"warning",
             u"C:\\f", u"", u"C:\\d"})), {u"s", true, false, u"question", u"warning\nC:\\f\n\nC:\\d", {}, {}}},
        {"no marker at all", bytesOf(joined({u"s", u"m", u"question", u"", u"C:\\d"})),
         {u"s", false, false, u"question\n\nC:\\d", u"", {}, {}}},
        {"an empty line after the semaphore makes the mode a file", bytesOf(joined({u"s", u"", u"force_reboot",
             u"EOSMARKER"})), {u"s", false, false, u"", u"", {u"force_reboot", u"EOSMARKER"}, {}}},
        {"empty input", "", DeletionList()},
        {"one odd byte", "\xFF", DeletionList()},
        {"NUL in a name", bytesOf(joined({u"s", u"m", u"EOSMARKER", u"EOSMARKER", std::u16string(u"C:\\a\0b", 6),
             u"C:\\c"})), {u"s", false, false, u"", u"", {u"C:\\c"}, {}}},
    };
    for (const Case& c : cases) {
        const DeletionList list = parse(c.bytes);
        EXPECT_EQ(describe(list), describe(c.expected)) << c.name;
    }
}

TEST(DeletionList, LongLines)
{
    const std::u16string line8190(8190, u'a');
    const std::u16string line8191(8191, u'b');
    const std::u16string line32767(32767, u'c');
    const std::u16string line40000(40000, u'd');
    const Lines files{u"C:\\f1", u"C:\\f2"};

    // Whole lines of any length keep the sections intact.
    for (const std::u16string& path : {line8190, line8191, line32767}) {
        const DeletionList list = parse(bytesOf(joined({u"s", u"m", u"EOSMARKER", u"EOSMARKER", path, u"C:\\f1",
                                                        u"C:\\f2", u"", u"C:\\d"})));
        EXPECT_EQ(list.files, (Lines{path, u"C:\\f1", u"C:\\f2"})) << path.size();
        EXPECT_EQ(list.directories, Lines{u"C:\\d"}) << path.size();
    }

    // A line beyond any path is never acted on, and takes nobody else's place.
    DeletionList list = parse(bytesOf(joined({line40000, u"force_reboot", u"EOSMARKER", u"EOSMARKER", line40000,
                                              u"C:\\f1", u"", line40000, u"C:\\d"})));
    EXPECT_EQ(describe(list), describe({u"", true, true, u"", u"", {u"C:\\f1"}, {u"C:\\d"}}));

    // Texts are cut at the dialog's buffer, and what follows them still counts.
    list = parse(bytesOf(joined({u"s", u"m", std::u16string(20000, u'q'), u"more", u"EOSMARKER", line8190, u"w",
                                 u"EOSMARKER", u"C:\\f"})));
    EXPECT_EQ(list.rebootQuestion, std::u16string(8191, u'q'));
    EXPECT_EQ(list.rebootWarning, line8190 + u"\n");  // the separator fits, the next line does not
    EXPECT_EQ(list.files, Lines{u"C:\\f"});

    // The cut never splits a surrogate pair.
    const std::u16string pairAtCut = std::u16string(8190, u'x') + u"\xD83D\xDE00";
    list = parse(bytesOf(joined({u"s", u"m", pairAtCut, u"EOSMARKER", u"EOSMARKER"})));
    EXPECT_EQ(list.rebootQuestion, std::u16string(8190, u'x'));
}

} // namespace
