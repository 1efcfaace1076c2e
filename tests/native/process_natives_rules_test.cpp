// The Windows-free rules of the process natives: the system handle table in both layouts
// and the command line of a program start.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "natives/handle_records.h"
#include "natives/launch_command_line.h"

namespace {

struct Entry {
    uint64_t pid;
    uint64_t handle;
    uint32_t access;
};

template <typename Value>
void put(std::vector<unsigned char>& data, size_t offset, Value value)
{
    std::memcpy(data.data() + offset, &value, sizeof value);
}

// A table as the system writes it, its unused fields filled with a pattern; the older
// layout gets the low 16 bits of the ids and values, beside a back-trace index.
std::vector<unsigned char> table(bool extended, const std::vector<Entry>& entries, uint64_t statedCount)
{
    const size_t header = extended ? 16 : 8, record = extended ? 40 : 24;
    std::vector<unsigned char> data(header + record * entries.size(), 0xCC);
    extended ? put<uint64_t>(data, 0, statedCount) : put<uint32_t>(data, 0, static_cast<uint32_t>(statedCount));
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t at = header + record * i;
        if (extended) {
            put<uint64_t>(data, at + 8, entries[i].pid);
            put<uint64_t>(data, at + 16, entries[i].handle);
            put<uint32_t>(data, at + 24, entries[i].access);
        } else {
            put<uint16_t>(data, at, static_cast<uint16_t>(entries[i].pid));
            put<uint16_t>(data, at + 6, static_cast<uint16_t>(entries[i].handle));
            put<uint32_t>(data, at + 16, entries[i].access);
        }
    }
    return data;
}

std::vector<SystemHandleRecord> parse(bool extended, const std::vector<unsigned char>& data)
{
    return extended ? parseExtendedHandleTable(data.data(), data.size()) : parseHandleTable(data.data(), data.size());
}

std::vector<uint64_t> handles(const std::vector<SystemHandleRecord>& records)
{
    std::vector<uint64_t> values;
    for (const SystemHandleRecord& record : records)
        values.push_back(record.handleValue);
    return values;
}

} // namespace

TEST(HandleRecords, OwnHandlesOfBothLayouts)
{
    // 70000 and 4464 share their low 16 bits: only the extended table tells them apart.
    const std::vector<Entry> entries{{70000, 0x10004, 0x0012019F}, {4464, 0x1234, 0x120089}, {70000, 0x44, 1}};
    const std::vector<SystemHandleRecord> extended = parse(true, table(true, entries, 3));
    ASSERT_EQ(extended.size(), 3u);
    EXPECT_EQ(extended[0].grantedAccess, 0x0012019Fu);
    EXPECT_EQ(handles(handlesOfProcess(extended, 70000, false)), (std::vector<uint64_t>{0x10004, 0x44}));
    EXPECT_EQ(handles(handlesOfProcess(extended, 4464, false)), (std::vector<uint64_t>{0x1234}));

    const std::vector<SystemHandleRecord> older = parse(false, table(false, entries, 3));
    ASSERT_EQ(older.size(), 3u);
    EXPECT_EQ(older[1].processId, 4464u);
    EXPECT_EQ(older[1].grantedAccess, 0x120089u);
    EXPECT_EQ(handles(handlesOfProcess(older, 4464, true)), (std::vector<uint64_t>{0x0004, 0x1234, 0x44}));
    // Our id does not fit that table: nothing there is known to be ours.
    EXPECT_TRUE(handlesOfProcess(older, 70000, true).empty());
}

TEST(HandleRecords, CountsBeyondTheDataAreNotRead)
{
    struct Case {
        uint64_t statedCount;
        size_t bytesCut; // taken off the end of two records
        size_t expected;
    };
    for (const bool extended : {true, false})
        for (const Case& c : {Case{2, 0, 2}, Case{1, 0, 1}, Case{0xFFFFFFFF, 0, 2}, Case{2, 1, 1}, Case{5, 23, 1},
                              Case{2, 48, 0}}) {
            std::vector<unsigned char> data = table(extended, {{8, 4, 1}, {8, 8, 1}}, c.statedCount);
            data.resize(data.size() - c.bytesCut);
            EXPECT_EQ(parse(extended, data).size(), c.expected) << extended << " " << c.statedCount << " " << c.bytesCut;
        }
    EXPECT_TRUE(parseExtendedHandleTable(nullptr, 0).empty());
}

TEST(LaunchCommandLine, QuotesOnlyAWholeUnquotedPathThatExists)
{
    const std::set<std::u16string> files{u"C:\\dir with space\\t.exe", u"C:\\tool.exe", u"C:\\tab\there.exe"};
    const auto exists = [&](std::u16string_view path) { return files.count(std::u16string(path)) > 0; };
    struct Case {
        std::u16string_view given;
        std::u16string_view expected;
    };
    for (const Case& c : {
             Case{u"C:\\dir with space\\t.exe", u"\"C:\\dir with space\\t.exe\""},
             Case{u"C:\\tab\there.exe", u"\"C:\\tab\there.exe\""},
             // Already quoted, no space, with arguments or no such file: as given.
             Case{u"\"C:\\dir with space\\t.exe\"", u"\"C:\\dir with space\\t.exe\""},
             Case{u"C:\\tool.exe", u"C:\\tool.exe"},
             Case{u"C:\\dir with space\\t.exe -x", u"C:\\dir with space\\t.exe -x"},
             Case{u"C:\\missing dir\\t.exe", u"C:\\missing dir\\t.exe"},
             Case{u"", u""},
         })
        EXPECT_EQ(launchCommandLine(c.given, exists), c.expected);
}
