#include "launchcore/appended_data_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <functional>

#include "appended_bytes.h"
#include "launchcore/diagnostics.h"
#include "launchcore/text.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SLDK_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define SLDK_TEST_ASAN 1
#endif
#ifdef SLDK_TEST_ASAN
#include <sanitizer/allocator_interface.h>
#endif

namespace {

using appended_bytes::Bytes;
using appended_bytes::PeLayout;
using Kind = AppendedDataFailure;

std::vector<std::string>& logged()
{
    static std::vector<std::string> lines;
    return lines;
}

void record(bool, const std::string& line) { logged().push_back(line); }

// Watches the size of every heap allocation while a parse runs (AddressSanitizer builds).
struct AllocationWatch {
    static inline std::atomic<bool> active{false};
    static inline std::atomic<size_t> largest{0};

#ifdef SLDK_TEST_ASAN
    static void onMalloc(const volatile void*, size_t size)
    {
        if (!active.load(std::memory_order_relaxed))
            return;
        size_t seen = largest.load(std::memory_order_relaxed);
        while (size > seen && !largest.compare_exchange_weak(seen, size)) {
        }
    }
    static void onFree(const volatile void*) {}
    static bool install()
    {
        static const bool installed = __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) != 0;
        return installed;
    }
#else
    static bool install() { return false; }
#endif

    AllocationWatch()
    {
        largest = 0;
        active = true;
    }
    ~AllocationWatch() { active = false; }
};

// A source over memory that also remembers the largest read it was asked for and can fail
// (with a system error) or deliver short once a given position is reached, as a file can.
class TestSource final : public ByteSource {
public:
    explicit TestSource(const std::vector<uint8_t>& bytes) : memory_(bytes.data(), bytes.size()) {}

    int64_t failAt = -1;     // a read touching this position fails
    uint32_t failError = 23; // ERROR_CRC
    int64_t shortAt = -1;    // reads stop delivering at this position
    int64_t claimedSize = -1;
    uint32_t largestRead = 0;

    bool seek(int64_t position) override { return memory_.seek(position); }
    int64_t position() const override { return memory_.position(); }
    int64_t size() const override { return claimedSize >= 0 ? claimedSize : memory_.size(); }
    bool read(void* buffer, uint32_t length, uint32_t& got, uint32_t& systemError) override
    {
        largestRead = std::max(largestRead, length);
        const int64_t start = memory_.position();
        if (failAt >= 0 && start <= failAt && failAt < start + length) {
            const auto part = static_cast<uint32_t>(failAt - start);
            memory_.read(buffer, part, got, systemError);
            systemError = failError;
            return false;
        }
        if (shortAt >= 0 && start + length > shortAt)
            length = static_cast<uint32_t>(std::max<int64_t>(0, shortAt - start));
        return memory_.read(buffer, length, got, systemError);
    }

private:
    MemoryByteSource memory_;
};

struct Parsed {
    std::optional<AppendedDataError> error;
    AppendedRecord record;
};

Parsed parse(const std::vector<uint8_t>& bytes)
{
    MemoryByteSource source(bytes.data(), bytes.size());
    Parsed parsed;
    parsed.error = readAppendedRecord(source, parsed.record);
    return parsed;
}

std::string describe(const std::optional<AppendedDataError>& error)
{
    if (!error)
        return "success";
    return std::string(fatalText(error->kind)) + " (error " + std::to_string(error->systemError) + ", read " +
           std::to_string(error->bytesRead) + ")";
}

class AppendedData : public ::testing::Test {
protected:
    void SetUp() override
    {
        logged().clear();
        setDiagnosticSink(record);
    }
    void TearDown() override { setDiagnosticSink(nullptr); }
};

TEST_F(AppendedData, FatalTexts)
{
    EXPECT_STREQ(fatalText(Kind::ReadInt), "Internal Error: readInt");
    EXPECT_STREQ(fatalText(Kind::ReadLong), "Internal Error: readLong");
    EXPECT_STREQ(fatalText(Kind::ReadShort), "Internal Error: readShort");
    EXPECT_STREQ(fatalText(Kind::ReadString), "Internal Error: readString");
    EXPECT_STREQ(fatalText(Kind::ReadWString), "Internal Error: readWString");
    EXPECT_STREQ(fatalText(Kind::Magic), "Internal Error: magic");
}

TEST_F(AppendedData, MemoryByteSourceBehavesLikeAFile)
{
    const uint8_t data[] = {1, 2, 3, 4, 5};
    MemoryByteSource source(data, sizeof data);
    EXPECT_EQ(source.size(), 5);
    EXPECT_FALSE(source.seek(-1));
    EXPECT_FALSE(source.seek(6));
    EXPECT_TRUE(source.seek(5));
    uint8_t out[8] = {};
    uint32_t got = 99, error = 99;
    EXPECT_TRUE(source.read(out, 4, got, error));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(error, 0u);
    ASSERT_TRUE(source.seek(3));
    EXPECT_TRUE(source.read(out, 4, got, error));
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[1], 5);
    EXPECT_EQ(source.position(), 5);
}

TEST_F(AppendedData, ReadsHeaderRecordMessagesAndLocaleBlocks)
{
    Bytes bytes;
    bytes.header(1, 0xCAFEBABE, 0x0000000123456789LL);
    bytes.i32(4).u32(101).str("MyApp").u32(2003).str("a.jar;b.jar").u32(146).str("").u32(0xFFFFFFFE).str("neg");
    bytes.i32(2).u32(1000).wstr(u"Error").u32(1003).wstr(u"The {0} variable\n\u00FC\U0001F600");
    bytes.i32(2);
    bytes.str("de").i32(1).u32(1000).wstr(u"Fehler");
    bytes.str("").i32(0);
    const size_t payloadStart = bytes.size();
    bytes.i64(3).raw("xyz");

    const Parsed parsed = parse(bytes.data());
    ASSERT_FALSE(parsed.error) << describe(parsed.error);
    const AppendedRecord& r = parsed.record;
    EXPECT_EQ(r.appendedStart, 0);
    EXPECT_EQ(r.header.magic, kAppendedDataMagic);
    EXPECT_EQ(r.header.integrityFlag, 1u);
    EXPECT_EQ(r.header.checksum, 0xCAFEBABEu);
    EXPECT_EQ(r.header.coveredLength, 0x123456789LL);
    EXPECT_EQ(r.config, (std::map<int32_t, std::string>{{101, "MyApp"}, {2003, "a.jar;b.jar"}, {146, ""}, {-2, "neg"}}));
    EXPECT_EQ(r.messages, (std::map<int32_t, std::u16string>{{1000, u"Error"},
                                                              {1003, u"The {0} variable\n\u00FC\U0001F600"}}));
    ASSERT_EQ(r.localeBlocks.size(), 2u);
    EXPECT_EQ(r.localeBlocks[0].key, "de");
    EXPECT_EQ(r.localeBlocks[0].entries, (std::vector<std::pair<int32_t, std::u16string>>{{1000, u"Fehler"}}));
    EXPECT_EQ(r.localeBlocks[1].key, "");
    EXPECT_TRUE(r.localeBlocks[1].entries.empty());
    EXPECT_EQ(r.payloadStart, static_cast<int64_t>(payloadStart));
}

TEST_F(AppendedData, StartsAtTheSourcePosition)
{
    Bytes bytes;
    bytes.raw("junk!").header().i32(0).i32(0).i32(0);
    MemoryByteSource source(bytes.data().data(), bytes.size());
    ASSERT_TRUE(source.seek(5));
    AppendedRecord r;
    ASSERT_FALSE(readAppendedRecord(source, r));
    EXPECT_EQ(r.appendedStart, 5);
    EXPECT_EQ(r.payloadStart, static_cast<int64_t>(bytes.size()));
}

TEST_F(AppendedData, CountsOfZeroOrBelowMeanNoEntries)
{
    // Every count of the format: 0 configuration, 1 messages, 2 locale blocks, 3 entries of
    // a block. The others hold one entry each.
    for (int32_t count : {-5, 0, -1 /* 0xFFFFFFFF */, INT32_MIN}) {
        for (int at = 0; at < 4; ++at) {
            Bytes bytes;
            bytes.header();
            bytes.i32(at == 0 ? count : 1);
            if (at != 0)
                bytes.u32(101).str("v");
            bytes.i32(at == 1 ? count : 1);
            if (at != 1)
                bytes.u32(1000).wstr(u"m");
            bytes.i32(at == 2 ? count : 1);
            if (at != 2) {
                bytes.str("de").i32(at == 3 ? count : 1);
                if (at != 3)
                    bytes.u32(1000).wstr(u"d");
            }
            const size_t end = bytes.size();
            bytes.i32(12345); // payload

            const Parsed parsed = parse(bytes.data());
            const std::string what = "count " + std::to_string(count) + " at " + std::to_string(at);
            ASSERT_FALSE(parsed.error) << what << ": " << describe(parsed.error);
            EXPECT_EQ(parsed.record.payloadStart, static_cast<int64_t>(end)) << what;
            EXPECT_EQ(parsed.record.config.size(), at == 0 ? 0u : 1u) << what;
            EXPECT_EQ(parsed.record.messages.size(), at == 1 ? 0u : 1u) << what;
            ASSERT_EQ(parsed.record.localeBlocks.size(), at == 2 ? 0u : 1u) << what;
            if (at != 2)
                EXPECT_EQ(parsed.record.localeBlocks[0].entries.size(), at == 3 ? 0u : 1u) << what;
        }
    }
}

TEST_F(AppendedData, EmptyRecordAndMessageTable)
{
    Bytes bytes;
    bytes.header().i32(0).i32(0).i32(0);
    const Parsed parsed = parse(bytes.data());
    ASSERT_FALSE(parsed.error);
    EXPECT_TRUE(parsed.record.config.empty());
    EXPECT_TRUE(parsed.record.messages.empty());
    EXPECT_TRUE(parsed.record.localeBlocks.empty());
    EXPECT_EQ(parsed.record.payloadStart, 32);
}

// Builds appended data whose one text at `where` carries the raw length `length`, followed
// by `tail` more bytes.
enum class TextAt { ConfigValue, Message, LocaleKey, LocaleText };

Bytes withLength(TextAt where, int32_t length, size_t tail)
{
    Bytes bytes;
    bytes.header();
    if (where == TextAt::ConfigValue) {
        bytes.i32(2).u32(101).str("ok").u32(102).i32(length);
    } else {
        bytes.i32(1).u32(101).str("ok");
        if (where == TextAt::Message) {
            bytes.i32(2).u32(1000).wstr(u"ok").u32(1001).i32(length);
        } else {
            bytes.i32(1).u32(1000).wstr(u"ok").i32(1);
            if (where == TextAt::LocaleKey)
                bytes.i32(length);
            else
                bytes.str("de").i32(1).u32(1000).i32(length);
        }
    }
    bytes.zeros(tail);
    return bytes;
}

TEST_F(AppendedData, BadLengthsFailWithoutAllocating)
{
    const bool watching = AllocationWatch::install();
    struct Case {
        TextAt where;
        int32_t length;
        size_t tail;
        Kind expected;
    };
    std::vector<Case> cases;
    for (TextAt where : {TextAt::ConfigValue, TextAt::Message, TextAt::LocaleKey, TextAt::LocaleText}) {
        const bool wide = where == TextAt::Message || where == TextAt::LocaleText;
        const Kind kind = wide ? Kind::ReadWString : Kind::ReadString;
        for (int32_t length : {-1, -2, INT32_MAX, INT32_MIN, 0x7FFFFFFE})
            cases.push_back({where, length, 64, kind});
        // Longer than the rest of the source by one byte (even, so only the size matters).
        cases.push_back({where, 66, 64, kind});
        cases.push_back({where, 65, 64, kind});
        if (wide)
            cases.push_back({where, 3, 64, kind}); // odd byte count for UTF-16 text
    }
    for (const Case& c : cases) {
        const Bytes bytes = withLength(c.where, c.length, c.tail);
        TestSource source(bytes.data());
        AppendedRecord r;
        std::optional<AppendedDataError> error;
        {
            AllocationWatch watch;
            error = readAppendedRecord(source, r);
        }
        const std::string what = "place " + std::to_string(static_cast<int>(c.where)) + " length " +
                                 std::to_string(c.length);
        ASSERT_TRUE(error) << what;
        EXPECT_EQ(error->kind, c.expected) << what << ": " << describe(error);
        EXPECT_STREQ(fatalText(error->kind), c.expected == Kind::ReadString ? "Internal Error: readString"
                                                                            : "Internal Error: readWString");
        EXPECT_LE(source.largestRead, bytes.size()) << what;
        if (watching)
            EXPECT_LE(AllocationWatch::largest.load(), bytes.size()) << what;
    }

    // The same lengths that fit are read (the checks are not off by one).
    for (TextAt where : {TextAt::ConfigValue, TextAt::Message, TextAt::LocaleKey, TextAt::LocaleText}) {
        Bytes bytes = withLength(where, 64, 64);
        if (where != TextAt::LocaleText)
            bytes.i32(0);
        if (where == TextAt::ConfigValue)
            bytes.i32(0);
        if (where == TextAt::LocaleKey)
            bytes.i32(0);
        EXPECT_FALSE(parse(bytes.data()).error) << static_cast<int>(where);
    }
}

TEST_F(AppendedData, EveryReadFailureNamesItsPrimitive)
{
    // A complete record; the test cuts it at each field.
    Bytes full;
    full.header(1, 2, 3);                                    // 0..19
    full.i32(1).u32(101).str("abcd");                        // count 20, id 24, len 28, text 32..35
    full.i32(1).u32(1000).wstr(u"xy");                       // count 36, id 40, len 44, text 48..51
    full.i32(1).str("de").i32(1).u32(1000).wstr(u"z");       // blocks 52, key len 56, key 60..61, count 62,
                                                             // id 66, len 70, text 74..75
    ASSERT_EQ(full.size(), 76u);
    ASSERT_FALSE(parse(full.data()).error);

    struct Case {
        size_t cut;
        Kind kind;
        uint32_t bytesRead;
    };
    const Case cases[] = {
        {0, Kind::ReadInt, 0},      // no appended data at all
        {2, Kind::ReadInt, 2},      // magic cut short
        {6, Kind::ReadInt, 2},      // integrity flag
        {11, Kind::ReadInt, 3},     // checksum
        {16, Kind::ReadLong, 4},    // covered length
        {20, Kind::ReadInt, 0},     // configuration count
        {26, Kind::ReadInt, 2},     // id
        {29, Kind::ReadInt, 1},     // length of the text
        {34, Kind::ReadString, 0},  // text longer than the rest
        {36, Kind::ReadInt, 0},     // message count
        {43, Kind::ReadInt, 3},     // message id
        {46, Kind::ReadInt, 2},     // message length
        {50, Kind::ReadWString, 0}, // message text
        {52, Kind::ReadInt, 0},     // block count
        {58, Kind::ReadInt, 2},     // key length
        {61, Kind::ReadString, 0},  // key text
        {62, Kind::ReadInt, 0},     // block entry count
        {69, Kind::ReadInt, 3},     // entry id
        {72, Kind::ReadInt, 2},     // entry length
        {75, Kind::ReadWString, 0}, // entry text
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes(full.data().begin(), full.data().begin() + static_cast<std::ptrdiff_t>(c.cut));
        const Parsed parsed = parse(bytes);
        ASSERT_TRUE(parsed.error) << "cut at " << c.cut;
        EXPECT_EQ(parsed.error->kind, c.kind) << "cut at " << c.cut << ": " << describe(parsed.error);
        EXPECT_EQ(parsed.error->bytesRead, c.bytesRead) << "cut at " << c.cut;
        EXPECT_EQ(parsed.error->systemError, 0u);
    }

    // Wrong magic fails before anything else is read.
    Bytes wrong;
    wrong.header(0, 0, 0, 0xD513E4E8u).i32(0).i32(0).i32(0);
    MemoryByteSource source(wrong.data().data(), wrong.size());
    AppendedRecord r;
    const auto error = readAppendedRecord(source, r);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, Kind::Magic);
    EXPECT_EQ(source.position(), 4);
}

TEST_F(AppendedData, ReadErrorsAndShortReadsOfTheSourcePassThrough)
{
    Bytes full;
    full.header();
    full.i32(1).u32(101).str("abcd");
    full.i32(1).u32(1000).wstr(u"xy");
    full.i32(0);

    struct Case {
        int64_t failAt;
        int64_t shortAt;
        Kind kind;
        uint32_t systemError;
        uint32_t bytesRead;
    };
    const Case cases[] = {
        {1, -1, Kind::ReadInt, 23, 1},      // magic
        {13, -1, Kind::ReadLong, 23, 1},    // covered length
        {26, -1, Kind::ReadInt, 23, 2},     // configuration id
        {33, -1, Kind::ReadString, 23, 1},  // configuration text
        {49, -1, Kind::ReadWString, 23, 1}, // message text
        // The source claims more bytes than it delivers: the text read comes back short.
        {-1, 34, Kind::ReadString, 0, 2},
        {-1, 50, Kind::ReadWString, 0, 2},
    };
    for (const Case& c : cases) {
        TestSource source(full.data());
        source.failAt = c.failAt;
        source.shortAt = c.shortAt;
        AppendedRecord r;
        const auto error = readAppendedRecord(source, r);
        ASSERT_TRUE(error) << c.failAt << "/" << c.shortAt;
        EXPECT_EQ(error->kind, c.kind) << c.failAt << "/" << c.shortAt << ": " << describe(error);
        EXPECT_EQ(error->systemError, c.systemError) << c.failAt << "/" << c.shortAt;
        EXPECT_EQ(error->bytesRead, c.bytesRead) << c.failAt << "/" << c.shortAt;
    }
}

TEST_F(AppendedData, RepeatedIdsKeepTheLaterValue)
{
    Bytes bytes;
    bytes.header();
    bytes.i32(3).u32(101).str("first").u32(102).str("other").u32(101).str("second");
    bytes.i32(3).u32(1000).wstr(u"one").u32(1000).wstr(u"two").u32(1001).wstr(u"x");
    bytes.i32(0);
    const Parsed parsed = parse(bytes.data());
    ASSERT_FALSE(parsed.error);
    EXPECT_EQ(parsed.record.config, (std::map<int32_t, std::string>{{101, "second"}, {102, "other"}}));
    EXPECT_EQ(parsed.record.messages, (std::map<int32_t, std::u16string>{{1000, u"two"}, {1001, u"x"}}));
}

TEST_F(AppendedData, LocaleKeyMatchesAPrefixOfTheCode)
{
    struct Case {
        std::string_view key;
        std::string_view code;
        bool expected;
    };
    const Case cases[] = {
        {"de", "de_AT", true},  {"de_AT", "de_AT", true}, {"de_AT", "de", false}, {"", "fr_FR", true},
        {"", "", true},         {"DE", "de", false},      {"d", "de", true},      {"de_ATX", "de_AT", false},
        {"fr", "de_FR", false}, {std::string_view("de\0x", 4), "de_AT", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(localeKeyMatches(c.key, c.code), c.expected) << "\"" << c.key << "\" / \"" << c.code << "\"";
}

TEST_F(AppendedData, LocaleBlocksApplyInFileOrder)
{
    Bytes bytes;
    bytes.header().i32(0);
    bytes.i32(3).u32(1000).wstr(u"Error").u32(1001).wstr(u"Base 1001").u32(1002).wstr(u"Base 1002");
    bytes.i32(5);
    bytes.str("de").i32(2).u32(1000).wstr(u"Fehler").u32(1001).wstr(u"de 1001");
    bytes.str("de_AT").i32(2).u32(1000).wstr(u"Fehler (AT)").u32(1500).wstr(u"new in de_AT");
    bytes.str("fr").i32(1).u32(1000).wstr(u"Erreur");
    bytes.str("").i32(1).u32(1002).wstr(u"every locale");
    bytes.str("de").i32(1).u32(1001).wstr(u"de again");
    const Parsed parsed = parse(bytes.data());
    ASSERT_FALSE(parsed.error) << describe(parsed.error);

    using Table = std::map<int32_t, std::u16string>;
    EXPECT_EQ(messagesForLocale(parsed.record, "de_AT"),
              (Table{{1000, u"Fehler (AT)"}, {1001, u"de again"}, {1002, u"every locale"}, {1500, u"new in de_AT"}}));
    EXPECT_EQ(messagesForLocale(parsed.record, "de_DE"),
              (Table{{1000, u"Fehler"}, {1001, u"de again"}, {1002, u"every locale"}}));
    EXPECT_EQ(messagesForLocale(parsed.record, "fr_CA"),
              (Table{{1000, u"Erreur"}, {1001, u"Base 1001"}, {1002, u"every locale"}}));
    EXPECT_EQ(messagesForLocale(parsed.record, "en_US"),
              (Table{{1000, u"Error"}, {1001, u"Base 1001"}, {1002, u"every locale"}}));
    // The record keeps the table as it was before the blocks.
    EXPECT_EQ(parsed.record.messages.at(1000), u"Error");

    // "de_AT" before "de": for a de_AT code the later, shorter key wins.
    Bytes reversed;
    reversed.header().i32(0).i32(1).u32(1000).wstr(u"Error");
    reversed.i32(2);
    reversed.str("de_AT").i32(1).u32(1000).wstr(u"AT");
    reversed.str("de").i32(1).u32(1000).wstr(u"DE");
    const Parsed second = parse(reversed.data());
    ASSERT_FALSE(second.error);
    EXPECT_EQ(messagesForLocale(second.record, "de_AT").at(1000), u"DE");
    EXPECT_EQ(messagesForLocale(second.record, "de").at(1000), u"DE");
}

TEST_F(AppendedData, PeWalkFindsTheEndOfTheLastSection)
{
    struct Case {
        PeLayout layout;
        std::vector<std::string> expectedLog;
    };
    PeLayout three;
    three.peOffset = 0x100;
    three.optionalHeaderSize = 0xE0;
    three.sectionSizes = {0x400, 0x200, 0x600};
    three.rawStart = 0x600;
    const Case cases[] = {
        {PeLayout{},
         {"number of sections: 2", "size of optional headers: 240", "resSectionTableStart: 432",
          "rawDataSize: 512, rawDataOffset: 1536"}},
        {three,
         {"number of sections: 3", "size of optional headers: 224", "resSectionTableStart: 584",
          "rawDataSize: 1536, rawDataOffset: 3072"}},
    };
    for (const Case& c : cases) {
        logged().clear();
        Bytes image = appended_bytes::peImage(c.layout);
        const size_t end = image.size();
        image.header(0, 0, 12).i32(1).u32(101).str("app").i32(0).i32(0);
        image.zeros(7); // padding behind the data is never read

        MemoryByteSource source(image.data().data(), image.size());
        int64_t start = -1;
        const auto error = seekAppendedData(source, start);
        ASSERT_FALSE(error) << describe(error);
        EXPECT_EQ(start, static_cast<int64_t>(end));
        EXPECT_EQ(source.position(), start);
        EXPECT_EQ(logged(), c.expectedLog);

        AppendedRecord r;
        ASSERT_FALSE(readAppendedRecord(source, r));
        EXPECT_EQ(r.appendedStart, start);
        EXPECT_EQ(r.config.at(101), "app");
        EXPECT_EQ(r.payloadStart, static_cast<int64_t>(image.size() - 7));
    }
}

TEST_F(AppendedData, ExecutableWithoutAppendedDataFailsAtTheMagic)
{
    const Bytes image = appended_bytes::peImage();
    MemoryByteSource source(image.data().data(), image.size());
    int64_t start = 0;
    ASSERT_FALSE(seekAppendedData(source, start));
    EXPECT_EQ(start, static_cast<int64_t>(image.size()));
    AppendedRecord r;
    const auto error = readAppendedRecord(source, r);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, Kind::ReadInt);
    EXPECT_EQ(error->bytesRead, 0u);
}

TEST_F(AppendedData, PeWalkSignExtendsItsShorts)
{
    // A section count of 0xFFFF is -1: the "last" header lies before the section table.
    Bytes image = appended_bytes::peImage();
    image.put16(0x80 + 6, 0xFFFF);
    const size_t lastHeader = 0x80 + 0xF0 - 40 - 16; // 312
    image.put32(lastHeader + 16, 0x10);
    image.put32(lastHeader + 20, 0x20);
    MemoryByteSource source(image.data().data(), image.size());
    int64_t start = 0;
    ASSERT_FALSE(seekAppendedData(source, start));
    EXPECT_EQ(start, 0x30);
    EXPECT_EQ(logged(), (std::vector<std::string>{"number of sections: -1", "size of optional headers: 240",
                                                  "resSectionTableStart: 312", "rawDataSize: 16, rawDataOffset: 32"}));

    // An optional-header size of 0xFFF0 is -16.
    logged().clear();
    Bytes negative = appended_bytes::peImage();
    negative.put16(0x80 + 20, 0xFFF0);
    MemoryByteSource second(negative.data().data(), negative.size());
    ASSERT_FALSE(seekAppendedData(second, start));
    EXPECT_EQ(logged().at(1), "size of optional headers: -16");
    EXPECT_EQ(logged().at(2), "resSectionTableStart: 176"); // 0x80 - 16 + 80 - 16
}

TEST_F(AppendedData, PeWalkFailures)
{
    using appended_bytes::sectionHeaderOffset;
    const PeLayout layout;
    const size_t lastHeader = sectionHeaderOffset(layout, 1);

    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
        Kind kind;
        uint32_t bytesRead;
        size_t expectedLogLines;
    };
    const Case cases[] = {
        {"file shorter than 60 bytes", [](Bytes& b) { b.data().resize(40); }, Kind::ReadInt, 0, 0},
        {"e_lfanew cut short", [](Bytes& b) { b.data().resize(62); }, Kind::ReadInt, 2, 0},
        {"PE offset past the end", [](Bytes& b) { b.put32(60, 0x10000); }, Kind::ReadShort, 0, 0},
        {"negative PE offset", [](Bytes& b) { b.put32(60, 0x80000000u); }, Kind::ReadShort, 0, 0},
        {"PE offset far below zero", [](Bytes& b) { b.put32(60, 0xFFFFFFF0u); }, Kind::ReadShort, 0, 0},
        {"section count cut short", [](Bytes& b) { b.data().resize(0x80 + 7); }, Kind::ReadShort, 1, 0},
        {"optional header size cut short", [](Bytes& b) { b.data().resize(0x80 + 21); }, Kind::ReadShort, 1, 1},
        {"optional header size beyond the file", [](Bytes& b) { b.put16(0x80 + 20, 0x7FFF); }, Kind::ReadInt, 0, 3},
        {"section table before the file start",
         [](Bytes& b) {
             b.put16(0x80 + 6, 0x8000);
             b.put16(0x80 + 20, 0);
         },
         Kind::ReadInt, 0, 3},
        {"SizeOfRawData cut short", [lastHeader](Bytes& b) { b.data().resize(lastHeader + 18); }, Kind::ReadInt, 2, 3},
        {"PointerToRawData cut short", [lastHeader](Bytes& b) { b.data().resize(lastHeader + 23); }, Kind::ReadInt, 3, 3},
        {"raw data ends past the file",
         [lastHeader](Bytes& b) { b.put32(lastHeader + 16, static_cast<uint32_t>(b.size())); }, Kind::ReadInt, 0, 4},
        {"raw data ends beyond 2 GiB",
         [lastHeader](Bytes& b) {
             b.put32(lastHeader + 16, 0xFFFFFF00u);
             b.put32(lastHeader + 20, 0xFFFFFF00u);
         },
         Kind::ReadInt, 0, 4},
    };
    for (const Case& c : cases) {
        logged().clear();
        Bytes image = appended_bytes::peImage(layout);
        image.header().i32(0).i32(0).i32(0);
        c.damage(image);
        TestSource source(image.data());
        int64_t start = 0;
        const auto error = seekAppendedData(source, start);
        ASSERT_TRUE(error) << c.what;
        EXPECT_EQ(error->kind, c.kind) << c.what << ": " << describe(error);
        EXPECT_EQ(error->bytesRead, c.bytesRead) << c.what;
        EXPECT_EQ(logged().size(), c.expectedLogLines) << c.what;
    }

    // A failing read passes the system error through.
    Bytes image = appended_bytes::peImage(layout);
    TestSource source(image.data());
    source.failAt = 0x80 + 21;
    source.failError = 38; // ERROR_HANDLE_EOF
    int64_t start = 0;
    const auto error = seekAppendedData(source, start);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, Kind::ReadShort);
    EXPECT_EQ(error->systemError, 38u);
    EXPECT_EQ(error->bytesRead, 1u);
}

TEST_F(AppendedData, PayloadFileNames)
{
    using Names = std::vector<std::string>;
    struct Case {
        std::string_view list;
        int32_t maxCount;
        Names expected;
    };
    const Case cases[] = {
        {"sldkruntime.jar;sldkparams.conf;jre.tar.gz", 3, {"sldkruntime.jar", "sldkparams.conf", "jre.tar.gz"}},
        {"a;b;c", 2, {"a", "b"}},
        {"a;b;c", 10, {"a", "b", "c"}},
        {";;a;;b;", 5, {"a", "b"}}, // empty names are skipped and not counted
        {";;a;;b;", 1, {"a"}},
        {"user\\x.jar;y", 5, {"user\\x.jar", "y"}},
        {"a;b", 0, {}},
        {"a;b", -1, {}},
        {"a;b", INT32_MIN, {}},
        {"", 3, {}},
        {";;;", 3, {}},
        {"name with space;x", 2, {"name with space", "x"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(payloadFileNames(c.list, c.maxCount), c.expected) << '"' << c.list << "\" / " << c.maxCount;
}

Bytes payloadRecord(std::string_view count, std::string_view list)
{
    Bytes bytes;
    bytes.header().i32(2).u32(2002).str(count).u32(2003).str(list).i32(0).i32(0);
    return bytes;
}

TEST_F(AppendedData, ListIncludedFiles)
{
    Bytes bytes = payloadRecord(" 3", "a.txt;;dir\\b.bin;c;notcounted");
    const int64_t payload = static_cast<int64_t>(bytes.size());
    bytes.i64(3).raw("\x5d\x5e\x5f");
    bytes.i64(0);
    bytes.i64(5).raw("12345");
    const int64_t unextracted = static_cast<int64_t>(bytes.size());
    bytes.u8(0xE8).u8(0xE4).u8(0x13).u8(0xD5).u32(0);

    MemoryByteSource source(bytes.data().data(), bytes.size());
    AppendedRecord r;
    ASSERT_FALSE(readAppendedRecord(source, r));
    ASSERT_EQ(r.payloadStart, payload);
    source.seek(0); // listIncludedFiles seeks to the payload itself

    std::vector<IncludedFileInfo> files;
    int64_t position = -1;
    const auto error = listIncludedFiles(source, r, files, position);
    ASSERT_FALSE(error) << describe(error);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].name, "a.txt");
    EXPECT_EQ(files[0].offset, payload + 8);
    EXPECT_EQ(files[0].length, 3);
    EXPECT_EQ(files[1].name, "dir\\b.bin");
    EXPECT_EQ(files[1].offset, payload + 19);
    EXPECT_EQ(files[1].length, 0);
    EXPECT_EQ(files[2].name, "c");
    EXPECT_EQ(files[2].offset, payload + 27);
    EXPECT_EQ(files[2].length, 5);
    EXPECT_EQ(position, unextracted);
}

TEST_F(AppendedData, ListIncludedFilesStopsAtTheConfiguredCount)
{
    Bytes bytes = payloadRecord("1", "a;b");
    bytes.i64(2).raw("xx");
    const int64_t afterFirst = static_cast<int64_t>(bytes.size());
    bytes.i64(1).raw("y");
    const Parsed parsed = parse(bytes.data());
    ASSERT_FALSE(parsed.error);

    MemoryByteSource source(bytes.data().data(), bytes.size());
    std::vector<IncludedFileInfo> files;
    int64_t position = 0;
    ASSERT_FALSE(listIncludedFiles(source, parsed.record, files, position));
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name, "a");
    EXPECT_EQ(position, afterFirst);

    // Count 0, a count of letters, a negative count or no entries at all: no files, and
    // the data for the Java side begins at the payload start.
    for (const auto& [count, list] : std::vector<std::pair<std::string, std::string>>{
             {"0", "a;b"}, {"abc", "a"}, {"-3", "a"}, {"2", ""}}) {
        Bytes other = payloadRecord(count, list);
        const int64_t payload = static_cast<int64_t>(other.size());
        other.i64(-1); // would fail if it were read
        const Parsed p = parse(other.data());
        ASSERT_FALSE(p.error);
        MemoryByteSource s(other.data().data(), other.size());
        files.assign(2, {});
        ASSERT_FALSE(listIncludedFiles(s, p.record, files, position)) << count << " " << list;
        EXPECT_TRUE(files.empty());
        EXPECT_EQ(position, payload);
    }

    Bytes none;
    none.header().i32(0).i32(0).i32(0);
    const Parsed p = parse(none.data());
    MemoryByteSource s(none.data().data(), none.size());
    ASSERT_FALSE(listIncludedFiles(s, p.record, files, position));
    EXPECT_EQ(position, p.record.payloadStart);
}

TEST_F(AppendedData, ListIncludedFilesNonPositiveLengthsAreEmpty)
{
    for (const int64_t length : {int64_t{0}, int64_t{-1}, INT64_MIN}) {
        Bytes bytes = payloadRecord("2", "empty;b");
        const int64_t payload = static_cast<int64_t>(bytes.size());
        bytes.i64(length);
        bytes.i64(2).raw("xy");
        const int64_t unextracted = static_cast<int64_t>(bytes.size());
        const Parsed parsed = parse(bytes.data());
        ASSERT_FALSE(parsed.error);

        MemoryByteSource source(bytes.data().data(), bytes.size());
        std::vector<IncludedFileInfo> files;
        int64_t position = 0;
        const auto error = listIncludedFiles(source, parsed.record, files, position);
        ASSERT_FALSE(error) << length << ": " << describe(error);
        ASSERT_EQ(files.size(), 2u) << length;
        EXPECT_EQ(files[0].length, 0) << length;
        EXPECT_EQ(files[0].offset, payload + 8) << length;
        EXPECT_EQ(files[1].offset, payload + 16) << length;
        EXPECT_EQ(files[1].length, 2) << length;
        EXPECT_EQ(position, unextracted) << length;
    }
}

TEST_F(AppendedData, ListIncludedFilesFailures)
{
    struct Case {
        const char* what;
        std::function<void(Bytes&)> payload;
        uint32_t bytesRead;
    };
    const Case cases[] = {
        // A negative length takes no bytes, so the next length is read from what follows.
        {"negative length, second length cut", [](Bytes& b) { b.i64(-1).raw("abc"); }, 3},
        {"very negative length, second length missing", [](Bytes& b) { b.i64(INT64_MIN); }, 0},
        {"length past the end", [](Bytes& b) { b.i64(4).raw("abc"); }, 0},
        {"huge length", [](Bytes& b) { b.i64(INT64_MAX).raw("abc"); }, 0},
        {"length cut short", [](Bytes& b) { b.u32(3); }, 4},
        {"second length missing", [](Bytes& b) { b.i64(1).raw("a"); }, 0},
    };
    for (const Case& c : cases) {
        Bytes bytes = payloadRecord("2", "a;b");
        c.payload(bytes);
        const Parsed parsed = parse(bytes.data());
        ASSERT_FALSE(parsed.error);
        MemoryByteSource source(bytes.data().data(), bytes.size());
        std::vector<IncludedFileInfo> files;
        int64_t position = 0;
        const auto error = listIncludedFiles(source, parsed.record, files, position);
        ASSERT_TRUE(error) << c.what;
        EXPECT_EQ(error->kind, Kind::ReadLong) << c.what << ": " << describe(error);
        EXPECT_EQ(error->bytesRead, c.bytesRead) << c.what;
    }

    // A payload start outside the source fails as the first length read.
    AppendedRecord outside;
    outside.config = {{2002, "1"}, {2003, "a"}};
    outside.payloadStart = 1000;
    const uint8_t little[8] = {};
    MemoryByteSource source(little, sizeof little);
    std::vector<IncludedFileInfo> files;
    int64_t position = 0;
    const auto error = listIncludedFiles(source, outside, files, position);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, Kind::ReadLong);
}

} // namespace
