// The Windows-free rules of the process natives: the system handle table in both layouts
// and the command line of a program start.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "natives/handle_records.h"
#include "natives/launch_command_line.h"

namespace {

template <typename Value>
void put(std::vector<unsigned char>& data, size_t offset, Value value)
{
    std::memcpy(data.data() + offset, &value, sizeof value);
}

struct Entry {
    uint64_t pid;
    uint64_t handle;
    uint32_t access;
};

std::vector<unsigned char> extendedTable(const std::vector<Entry>& entries, uint64_t statedCount)
{
    std::vector<unsigned char> data(16 + 40 * entries.size(), 0xCC);
    put<uint64_t>(data, 0, statedCount);
    put<uint64_t>(data, 8, 0);
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t at = 16 + 40 * i;
        put<uint64_t>(data, at, 0xFFFF800012345678ull);
        put<uint64_t>(data, at + 8, entries[i].pid);
        put<uint64_t>(data, at + 16, entries[i].handle);
        put<uint32_t>(data, at + 24, entries[i].access);
    }
    return data;
}

std::vector<unsigned char> olderTable(const std::vector<Entry>& entries, uint32_t statedCount)
{
    std::vector<unsigned char> data(8 + 24 * entries.size(), 0xCC);
    put<uint32_t>(data, 0, statedCount);
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t at = 8 + 24 * i;
        put<uint16_t>(data, at, static_cast<uint16_t>(entries[i].pid));
        put<uint16_t>(data, at + 2, 0x7777); // back-trace index
        data[at + 4] = 37;                   // object type
        data[at + 5] = 0;
        put<uint16_t>(data, at + 6, static_cast<uint16_t>(entries[i].handle));
        put<uint64_t>(data, at + 8, 0xFFFF800012345678ull);
        put<uint32_t>(data, at + 16, entries[i].access);
    }
    return data;
}

std::vector<uint64_t> handles(const std::vector<SystemHandleRecord>& records)
{
    std::vector<uint64_t> values;
    for (const SystemHandleRecord& record : records)
        values.push_back(record.handleValue);
    return values;
}

} // namespace

TEST(HandleRecords, ExtendedTableKeepsFullWidthIdsAndHandles)
{
    // 70000 and 4464 share their low 16 bits: only the full id tells them apart.
    const std::vector<Entry> entries{{70000, 0x10004, 0x0012019F}, {4464, 0x10004, 1}, {70000, 0x44, 0x120089}};
    const std::vector<unsigned char> data = extendedTable(entries, entries.size());
    const std::vector<SystemHandleRecord> records = parseExtendedHandleTable(data.data(), data.size());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].processId, 70000u);
    EXPECT_EQ(records[0].grantedAccess, 0x0012019Fu);
    EXPECT_EQ(handles(handlesOfProcess(records, 70000, false)), (std::vector<uint64_t>{0x10004, 0x44}));
    EXPECT_EQ(handles(handlesOfProcess(records, 4464, false)), (std::vector<uint64_t>{0x10004}));
}

TEST(HandleRecords, OlderTableReadsSixteenBitFieldsAndRefusesLargeOwnIds)
{
    const std::vector<Entry> entries{{4464, 0x1234, 0x120089}, {70000, 0x10004, 3}, {4465, 0x48, 1}};
    const std::vector<unsigned char> data = olderTable(entries, entries.size());
    const std::vector<SystemHandleRecord> records = parseHandleTable(data.data(), data.size());
    ASSERT_EQ(records.size(), 3u);
    // The back-trace index beside the id is not part of it.
    EXPECT_EQ(records[0].processId, 4464u);
    EXPECT_EQ(records[0].grantedAccess, 0x120089u);
    EXPECT_EQ(records[1].processId, 70000u & 0xFFFF);
    EXPECT_EQ(records[1].handleValue, 0x0004u);
    EXPECT_EQ(handles(handlesOfProcess(records, 4464, true)), (std::vector<uint64_t>{0x1234, 0x0004}));
    // Our id does not fit the table: nothing there can be known to be ours.
    EXPECT_TRUE(handlesOfProcess(records, 70000, true).empty());
}

TEST(HandleRecords, CountsBeyondTheDataAreNotRead)
{
    const std::vector<Entry> entries{{8, 4, 1}, {8, 8, 1}};
    struct Case {
        uint64_t statedCount;
        size_t recordsCut; // whole records taken off the end
        size_t bytesCut;   // and then as many bytes more
        size_t expected;
    };
    for (const Case& c : {Case{2, 0, 0, 2}, Case{1, 0, 0, 1}, Case{0xFFFFFFFF, 0, 0, 2}, Case{2, 0, 1, 1},
                          Case{5, 1, 1, 0}, Case{2, 2, 0, 0}, Case{2, 2, 1, 0}}) {
        std::vector<unsigned char> extended = extendedTable(entries, c.statedCount);
        extended.resize(extended.size() - c.recordsCut * 40 - c.bytesCut);
        EXPECT_EQ(parseExtendedHandleTable(extended.data(), extended.size()).size(), c.expected) << c.statedCount;
        std::vector<unsigned char> older = olderTable(entries, static_cast<uint32_t>(c.statedCount));
        older.resize(older.size() - c.recordsCut * 24 - c.bytesCut);
        EXPECT_EQ(parseHandleTable(older.data(), older.size()).size(), c.expected) << c.statedCount;
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
             // Already quoted, no space, or with arguments: the command line as given.
             Case{u"\"C:\\dir with space\\t.exe\"", u"\"C:\\dir with space\\t.exe\""},
             Case{u"C:\\tool.exe", u"C:\\tool.exe"},
             Case{u"C:\\tool.exe -x", u"C:\\tool.exe -x"},
             Case{u"C:\\dir with space\\t.exe -x", u"C:\\dir with space\\t.exe -x"},
             Case{u"C:\\missing dir\\t.exe", u"C:\\missing dir\\t.exe"},
             Case{u"", u""},
         })
        EXPECT_EQ(launchCommandLine(c.given, exists), c.expected);
}
