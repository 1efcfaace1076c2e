#include "launchcore/locale_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <regex>
#include <set>

namespace {

std::string hex(uint16_t id)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(id));
    return text;
}

TEST(LocaleTable, LookupByIdentifier)
{
    const std::pair<uint16_t, const char*> cases[] = {
        // Plain rows.
        {0x0807, "de_CH"},
        {0x0C09, "en_AU"},
        {0x0409, "en_US"},
        {0x0001, "ar"},
        {0x0056, "gl"},
        {0x500A, "es_PR"},
        // Rows that break the pattern.
        {0x041A, "hr_HR"},
        {0x001A, "sr"},
        {0x0812, "ko_KR"},
        {0x0814, "no_NO_NY"},
        {0x0C0A, "es_ES"},
        {0x081A, "sr_CS"},
        {0x0C1A, "sr_CS"},
        {0x082C, "az_AZ"},
        {0x0843, "uz_UZ"},
        {0x2409, "en"},
        {0x0431, "ts"},
        {0x0434, "xh"},
        {0x0435, "zu"},
        {0x043D, "yi"},
        {0x0444, "tt"},
        {0x083C, "ga_IE"},
        {0x040D, "iw_IL"},
        {0x0421, "in_ID"},
        // No row of its own: the primary language's row.
        {0x4C09, "en"},
        {0x540A, "es"},
        {0x101A, "sr"}, // Croatian variants fall back to the Serbian primary row
        {0x0856, "gl"},
        {0x4C07, "de"},
        // Neither the identifier nor its primary language has a row.
        {0x0028, "en"},
        {0x0428, "en"},
        {0x0000, "en"},
        {0x0400, "en"},
        {0xFFFF, "en"},
        // The primary language is ten bits wide: 0x0512 is primary 0x112, not Korean (0x12).
        {0x0512, "en"},
        {0x0A07, "en"},
    };
    for (const auto& [id, expected] : cases)
        EXPECT_EQ(localeCodeForLanguageId(id), expected) << "identifier " << hex(id);
}

// A typo in the table shows up as a code whose language disagrees with its primary row; the
// only intended disagreements are Croatian under Serbian and Irish under Scottish Gaelic.
TEST(LocaleTable, RowsAreSortedAndAgreeWithTheirPrimaryLanguage)
{
    const std::regex shape("[a-z]{2}(_[A-Z]{2}(_[A-Z]{2})?)?");
    const std::set<uint16_t> otherLanguage = {0x041A, 0x083C};
    const std::set<uint16_t> bareFullRows = {0x0431, 0x0434, 0x0435, 0x043D, 0x0444, 0x2409};

    std::map<uint16_t, std::string> primary;
    for (const LocaleRow& row : localeTable())
        if (row.languageId < 0x0400)
            primary[row.languageId] = row.code;

    const auto rows = localeTable();
    ASSERT_EQ(rows.size(), 215u);
    EXPECT_EQ(primary.size(), 71u);
    std::set<uint16_t> seenBare;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const LocaleRow& row = rows[i];
        // Sorted strictly ascending, so the primary rows come first.
        if (i > 0)
            EXPECT_LT(rows[i - 1].languageId, row.languageId) << "row " << i;
        const std::string code = row.code;
        const std::string id = hex(row.languageId);
        EXPECT_TRUE(std::regex_match(code, shape)) << id << " " << code;
        EXPECT_EQ(localeCodeForLanguageId(row.languageId), code) << id;
        if (row.languageId < 0x0400) {
            EXPECT_EQ(code.size(), 2u) << id;
            continue;
        }
        if (code.size() == 2)
            seenBare.insert(row.languageId);
        const auto found = primary.find(row.languageId & 0x03FF);
        ASSERT_NE(found, primary.end()) << id << " has no primary row";
        if (otherLanguage.count(row.languageId))
            EXPECT_NE(code.substr(0, 2), found->second) << id;
        else
            EXPECT_EQ(code.substr(0, 2), found->second) << id;
    }
    EXPECT_EQ(seenBare, bareFullRows);
}

TEST(LocaleTable, FormatAsDefaultTakesTheLastSetting)
{
    const std::u16string on = u"-Dsun.locale.formatasdefault=true";
    const std::u16string off = u"-Dsun.locale.formatasdefault=false";
    const struct {
        std::vector<std::u16string> arguments;
        bool expected;
    } cases[] = {
        {{}, false},
        {{u"app.exe"}, false},
        {{u"app.exe", on}, true},
        {{u"app.exe", on, off}, false},
        {{u"app.exe", off, on}, true},
        {{u"app.exe", on, u"-Dother=1", u"x"}, true}, // unrelated arguments leave it alone
        {{u"app.exe", on, u"-Dsun.locale.formatasdefault="}, false},
        {{u"app.exe", on, u"-Dsun.locale.formatasdefault=TRUE"}, false},
        {{u"app.exe", on, u"-Dsun.locale.formatasdefault=true "}, false},
        {{u"app.exe", u" -Dsun.locale.formatasdefault=true"}, false},
        {{u"app.exe", u"-Dsun.locale.formatasdefault=truex"}, false},
        {{u"app.exe", u"-dsun.locale.formatasdefault=true"}, false},
        {{u"app.exe", u"-Dsun.locale.formatasdefault"}, false},
        {{u"app.exe", off, u"-Dsun.locale.formatasdefault", on}, true},
        {{on}, true}, // the program's own element counts like any other
    };
    for (const auto& c : cases) {
        std::string described;
        for (const auto& a : c.arguments)
            described += "[" + std::string(a.begin(), a.end()) + "]";
        EXPECT_EQ(formatAsDefault(c.arguments), c.expected) << described;
    }
}

} // namespace
