#include "tools/sldkpack/packer.h"
#include "tools/sldkpack/synthetic_pe.h"

#include "launchcore/appended_data_format.h"
#include "launchcore/crc32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

using namespace sldkpack;

namespace {

// Written out by hand here, independent of the writer, so a wrong field order or width shows.
struct Expected {
    std::vector<uint8_t> bytes;
    Expected& u32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Expected& u64(uint64_t v) {
        for (int i = 0; i < 8; ++i)
            bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Expected& text(const std::string& s) {
        u32(static_cast<uint32_t>(s.size()));
        bytes.insert(bytes.end(), s.begin(), s.end());
        return *this;
    }
    Expected& wide(const std::u16string& s) {
        u32(static_cast<uint32_t>(s.size() * 2));
        for (char16_t c : s) {
            bytes.push_back(static_cast<uint8_t>(c));
            bytes.push_back(static_cast<uint8_t>(c >> 8));
        }
        return *this;
    }
    Expected& raw(std::initializer_list<uint8_t> b) {
        bytes.insert(bytes.end(), b);
        return *this;
    }
};

uint32_t u32At(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

uint64_t u64At(const std::vector<uint8_t>& b, size_t at) {
    return u32At(b, at) | static_cast<uint64_t>(u32At(b, at + 4)) << 32;
}

const std::vector<uint8_t> kStub = syntheticPe({{0x400, 0x200}, {0x600, 0x400}}); // ends at 0xA00

} // namespace

TEST(SldkpackWriter, WritesTheExactLayoutBehindTheLastSection) {
    LauncherModel model;
    model.integrityCheck = true;
    model.config = {{122, "com.example.Main"}, {101, ""}};
    model.messages = {{1000, u"Fehler \u00e4"}};
    model.localeBlocks = {{"de", {{1005, u"x"}}}, {"", {}}};
    model.files = {{"a.jar", {0x00, 0x3C, 0xFF}}, {"dir\\b.bin", {}}};
    model.trailer = {0xE8, 0xE4, 0x13, 0xD5, 0, 0, 0, 0};

    const auto image = buildLauncher(kStub, model);

    Expected body;
    body.u32(4).u32(122).text("com.example.Main").u32(101).text("").u32(2002).text("2").u32(2003).text(
        "a.jar;dir\\b.bin");
    body.u32(1).u32(1000).wide(u"Fehler \u00e4");
    body.u32(2).text("de").u32(1).u32(1005).wide(u"x").text("").u32(0);
    body.u64(3).raw({0x3C, 0x00, 0xC3}).u64(0);
    body.raw({0xE8, 0xE4, 0x13, 0xD5, 0, 0, 0, 0});

    ASSERT_EQ(0u, image.size() % 512);
    ASSERT_GE(image.size(), 0xA00 + 20 + body.bytes.size());
    EXPECT_TRUE(std::equal(kStub.begin(), kStub.end(), image.begin()));
    EXPECT_EQ((std::vector<uint8_t>{0xD5, 0x13, 0xE4, 0xE8}), std::vector<uint8_t>(image.begin() + 0xA00, image.begin() + 0xA04));
    EXPECT_EQ(1u, u32At(image, 0xA04));
    EXPECT_EQ(body.bytes.size(), u64At(image, 0xA0C));
    EXPECT_EQ(crc32(body.bytes.data(), body.bytes.size()), u32At(image, 0xA08));
    EXPECT_EQ(body.bytes, std::vector<uint8_t>(image.begin() + 0xA14, image.begin() + 0xA14 + body.bytes.size()));
    EXPECT_TRUE(std::all_of(image.begin() + 0xA14 + body.bytes.size(), image.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_LT(image.size() - (0xA14 + body.bytes.size()), 512u);
}

TEST(SldkpackWriter, LauncherCoreReadsBackWhatWasWritten) {
    LauncherModel model;
    model.messages = defaultMessages();
    setMessage(model.messages, 1005, u"Start failed");
    model.config = {{101, "Svc"}, {107, "4"}};
    model.localeBlocks = {{"de", {{1000, u"Fehler"}}}, {"de_AT", {{1000, u"Oida"}}}};
    model.files = {{"sldkruntime.jar", std::vector<uint8_t>(1500, 0x3C)}, {"lib\\x.jar", {1, 2, 3}}};
    model.trailer = {9, 8, 7};
    const auto image = buildLauncher(kStub, model);

    MemoryByteSource source(image.data(), image.size());
    int64_t start = 0;
    ASSERT_FALSE(seekAppendedData(source, start));
    EXPECT_EQ(0xA00, start);
    AppendedRecord record;
    ASSERT_FALSE(readAppendedRecord(source, record));
    EXPECT_EQ(0u, record.header.integrityFlag);
    EXPECT_EQ("Svc", record.config.at(101));
    EXPECT_EQ("2", record.config.at(2002));
    EXPECT_EQ("sldkruntime.jar;lib\\x.jar", record.config.at(2003));
    EXPECT_EQ(u"Start failed", record.messages.at(1005));
    EXPECT_EQ(u"Oida", messagesForLocale(record, "de_AT").at(1000));
    EXPECT_EQ(u"Fehler", messagesForLocale(record, "de_DE").at(1000));

    std::vector<IncludedFileInfo> files;
    int64_t unextracted = 0;
    ASSERT_FALSE(listIncludedFiles(source, record, files, unextracted));
    ASSERT_EQ(2u, files.size());
    EXPECT_EQ(1500, files[0].length);
    EXPECT_TRUE(std::all_of(image.begin() + files[0].offset, image.begin() + files[0].offset + 1500,
                            [](uint8_t b) { return b == 0; }));
    EXPECT_EQ("lib\\x.jar", files[1].name);
    EXPECT_EQ((std::vector<uint8_t>{1 ^ 0x3C, 2 ^ 0x3C, 3 ^ 0x3C}),
              std::vector<uint8_t>(image.begin() + files[1].offset, image.begin() + files[1].offset + 3));
    EXPECT_EQ((std::vector<uint8_t>{9, 8, 7}), std::vector<uint8_t>(image.begin() + unextracted, image.begin() + unextracted + 3));
    EXPECT_EQ(record.header.coveredLength, unextracted + 3 - (start + 20));
}

TEST(SldkpackWriter, CoveredLengthStopsWherePaddingBegins) {
    struct Case {
        const char* what;
        uint32_t stubEnd;
        size_t trailerSize;
        size_t expectedPadding;
    };
    // The empty model's record is 12 bytes of counts; with the 20-byte header that is 32.
    const Case cases[] = {
        {"ends on a block boundary", 0x400, 512 - 32, 0},
        {"one byte over", 0x400, 512 - 31, 511},
        {"one byte short", 0x400, 512 - 33, 1},
        {"stub ends mid-block", 0x410, 0, 512 - 0x10 - 32},
        // A service-launcher-sized record: 3868 covered bytes leave 228 zero bytes in the last 4 KiB.
        {"service launcher", 0x400 + 3052, 3868 - 12, 228},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto stub = syntheticPe({{0x400, c.stubEnd - 0x400}});
        LauncherModel model;
        model.trailer.assign(c.trailerSize, 0xAB);
        const auto image = buildLauncher(stub, model);
        const uint64_t covered = u64At(image, c.stubEnd + 12);
        EXPECT_EQ(12 + c.trailerSize, covered);
        EXPECT_EQ(c.stubEnd + 20 + covered + c.expectedPadding, image.size());
        EXPECT_EQ(0u, image.size() % 512);
        EXPECT_EQ(crc32(image.data() + c.stubEnd + 20, covered), u32At(image, c.stubEnd + 8));
    }
}

TEST(SldkpackWriter, CutsDataAlreadyBehindTheLastSection) {
    const auto clean = syntheticPe({{0x400, 0x200}});
    const auto withOverlay = syntheticPe({{0x400, 0x200}}, std::vector<uint8_t>(700, 0x77));
    LauncherModel model;
    model.config = {{101, "A"}};
    const auto fromClean = buildLauncher(clean, model);
    EXPECT_EQ(fromClean, buildLauncher(withOverlay, model));
    // Packing a packed launcher again replaces its data rather than stacking a second copy.
    model.config = {{101, "B"}};
    const auto repacked = buildLauncher(fromClean, model);
    EXPECT_EQ(fromClean.size(), repacked.size());
    EXPECT_EQ('B', repacked[0x600 + 20 + 4 + 4 + 4]);
}

TEST(SldkpackWriter, FindsTheEndOfTheLastSectionHeaderOrRejectsTheStub) {
    struct Case {
        const char* what;
        std::vector<uint8_t> image;
        long expected; // -1: rejected
    };
    auto patched = [](std::vector<uint8_t> image, size_t at, std::initializer_list<uint8_t> bytes) {
        std::copy(bytes.begin(), bytes.end(), image.begin() + at);
        return image;
    };
    const auto base = syntheticPe({{0x400, 0x200}});
    const std::vector<Case> cases = {
        {"one section", base, 0x600},
        {"the last header decides, not the furthest section", syntheticPe({{0x800, 0x200}, {0x400, 0x100}}), 0x500},
        {"small optional header", syntheticPe({{0x200, 0x10}}, {}, 0), 0x210},
        {"empty last section", syntheticPe({{0x400, 0x200}, {0x600, 0}}), 0x600},
        {"no MZ", patched(base, 0, {'Z', 'M'}), -1},
        {"too short for a DOS header", std::vector<uint8_t>(base.begin(), base.begin() + 40), -1},
        {"no PE signature", patched(base, 0x80, {'P', 'F'}), -1},
        {"e_lfanew past the end", patched(base, 60, {0xFF, 0xFF, 0, 0}), -1},
        {"no sections", patched(base, 0x86, {0, 0}), -1},
        {"negative section count", patched(base, 0x86, {0xFF, 0xFF}), -1},
        {"section table past the end", patched(base, 0x86, {0x40, 0}), -1},
        {"raw data past the end", patched(base, 0x80 + 24 + 240 + 16, {0x00, 0x10, 0, 0}), -1},
        {"raw offset wraps", patched(base, 0x80 + 24 + 240 + 20, {0xFF, 0xFF, 0xFF, 0xFF}), -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.expected >= 0) {
            EXPECT_EQ(static_cast<size_t>(c.expected), endOfLastSection(c.image));
            continue;
        }
        try {
            endOfLastSection(c.image);
            ADD_FAILURE() << "accepted";
        } catch (const PackError& error) {
            EXPECT_NE(std::string::npos, std::string(error.what()).find("not a PE file")) << error.what();
        }
        EXPECT_THROW(buildLauncher(c.image, LauncherModel{}), PackError);
    }
}

TEST(SldkpackWriter, FillsPayloadEntriesUnlessGivenOrSwitchedOff) {
    struct Case {
        const char* what;
        std::vector<std::pair<int32_t, std::string>> config;
        size_t fileCount;
        bool fill;
        std::map<int32_t, std::string> expected;
    };
    const std::vector<Case> cases = {
        {"filled from the files", {}, 2, true, {{2002, "2"}, {2003, "f0;f1"}}},
        {"explicit count kept, list filled", {{2002, "5"}}, 2, true, {{2002, "5"}, {2003, "f0;f1"}}},
        {"explicit list kept, count filled", {{2003, "other"}}, 1, true, {{2002, "1"}, {2003, "other"}}},
        {"switched off", {}, 2, false, {}},
        {"no files, no entries", {}, 0, true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LauncherModel model;
        model.config = c.config;
        model.fillPayloadEntries = c.fill;
        for (size_t i = 0; i < c.fileCount; ++i)
            model.files.push_back({"f" + std::to_string(i), {static_cast<uint8_t>(i)}});
        const auto image = buildLauncher(kStub, model);
        MemoryByteSource source(image.data(), image.size());
        source.seek(0xA00);
        AppendedRecord record;
        ASSERT_FALSE(readAppendedRecord(source, record));
        EXPECT_EQ(c.expected, record.config);
    }
}

TEST(SldkpackWriter, DefaultMessagesCoverBothRangesWithTheKnownTexts) {
    const auto messages = defaultMessages();
    std::set<int32_t> ids;
    for (const auto& [id, text] : messages)
        EXPECT_TRUE(ids.insert(id).second) << "repeated " << id;
    for (int32_t id = 1000; id <= 1020; ++id)
        EXPECT_EQ(1u, ids.count(id)) << id;
    for (int32_t id = 20001; id <= 20020; ++id)
        EXPECT_EQ(1u, ids.count(id)) << id;
    EXPECT_EQ(41u, messages.size());

    const std::map<int32_t, std::u16string> byId(messages.begin(), messages.end());
    const std::pair<int32_t, std::u16string> verbatim[] = {
        {1000, u"Error"},
        {1005, u"The JVM could not be started. The maximum heap size (-Xmx) might be too large or an antivirus or "
               u"firewall tool could block the execution."},
        {1006, u"File or directory {0} not found or empty\n"},
        {1009, u"An internal error occurred (error code: {0})"},
        {1018, u"The {0} environment variable does not\npoint to a working 64-bit JDK or JRE."},
        {1020, u"The JVM found at {0} is damaged.\nPlease reinstall or define VEXON_JAVA_HOME\nto point to an "
               u"installed 64-bit JDK or JRE."},
        {20002, u"Cannot initialize wininet.dll. Please install\nInternet Explorer 3.0 or higher."},
        {20008, u"%.2f MB of %.2f MB (%.1f%%) at %.1f kb/s"},
        {20016, u"The installation file is corrupted. If it is a download please try it again."},
        {20017, u""},
        {20018, u"Not Enough Disk Space"},
        {20019, u"minimum version:"},
        {20020, u"maximum version:"},
    };
    for (const auto& [id, text] : verbatim)
        EXPECT_EQ(text, byId.at(id)) << id;
    // The launcher substitutes "{0}" with the bit width in 1016; it must still be there.
    EXPECT_NE(std::u16string::npos, byId.at(1016).find(u"{0}-bit"));
}

TEST(SldkpackWriter, FriendlyNamesCoverEveryKnownEntryOnce) {
    std::set<int32_t> expectedIds = {101, 102, 103, 104, 105, 106, 107, 108, 121, 122, 123, 124, 125, 126, 127,
                                     128, 130, 131, 132, 133, 146, 149, 150, 151, 152, 153, 154, 155, 157, 158,
                                     159, 160, 161, 163, 165, 166, 2001, 2002, 2003, 2004, 10003, 10004, 10005, 10007,
                                     10200};
    for (int32_t id = 10109; id <= 10122; ++id)
        expectedIds.insert(id);
    std::set<int32_t> ids;
    std::set<std::string> names;
    int32_t previous = 0;
    for (const auto& [name, id] : configNames()) {
        EXPECT_TRUE(ids.insert(id).second) << id;
        EXPECT_TRUE(names.insert(name).second) << name;
        EXPECT_LT(previous, id) << "not in id order at " << name;
        previous = id;
        EXPECT_TRUE(std::all_of(name.begin(), name.end(),
                                [](char c) { return std::islower(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) || c == '-'; }))
            << name;
        EXPECT_EQ(id, configIdForName(name));
    }
    EXPECT_EQ(expectedIds, ids);
    const std::pair<const char*, int32_t> spotChecks[] = {
        {"application-name", 101}, {"redirect-stderr", 102}, {"application-kind", 107}, {"main-class", 122},
        {"vm-options", 123}, {"min-java-version", 126}, {"jvm-search-sequence", 128}, {"working-directory", 146},
        {"product-kind", 2001}, {"included-file-count", 2002}, {"included-file-list", 2003},
        {"native-library-directory", 10004}, {"Main-Class", -1}, {"122", -1}, {"", -1},
    };
    for (const auto& [name, id] : spotChecks)
        EXPECT_EQ(id, configIdForName(name)) << name;
}

TEST(SldkpackWriter, SetConfigAndSetMessageReplaceInPlace) {
    LauncherModel model;
    setConfig(model, 122, "a");
    setConfig(model, 101, "b");
    setConfig(model, 122, "c");
    EXPECT_EQ((std::vector<std::pair<int32_t, std::string>>{{122, "c"}, {101, "b"}}), model.config);
    auto messages = defaultMessages();
    setMessage(messages, 1000, u"Fehler");
    setMessage(messages, 30000, u"new");
    EXPECT_EQ(u"Fehler", messages.front().second);
    EXPECT_EQ(30000, messages.back().first);
    EXPECT_EQ(42u, messages.size());
}
