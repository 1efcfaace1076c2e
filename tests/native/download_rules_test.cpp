// The Windows-free rules of the runtime download: which message texts may reach the
// formatter, the progress figures, the stall rule and the checksum text of entry 2004.
#include "setuplauncher/download_checksum.h"
#include "setuplauncher/download_progress.h"
#include "setuplauncher/download_texts.h"
#include "tools/sldkpack/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct FormatCase {
    const char16_t* text;
    DownloadFormat shape;
    bool accepted;
};

} // namespace

TEST(DownloadTexts, OnlyTheExpectedConversionsReachTheFormatter)
{
    constexpr auto S = DownloadFormat::OneNarrowString;
    constexpr auto F = DownloadFormat::FourFigures;
    const FormatCase cases[] = {
        {u"download a %S-bit JRE", S, true},
        {u"100%% sure: %S bit", S, true},
        {u"%-4S|%.2S", S, false}, // two strings
        {u"%5S bit", S, true},
        {u"no conversion at all", S, false},
        {u"need %d-bit %S", S, false},
        {u"%s-bit", S, false},     // a wide string is another argument
        {u"%lS-bit", S, false},
        {u"%*S-bit", S, false},    // the width would be read from the arguments
        {u"%S bit, 100 %", S, false}, // a lone "%" at the end
        {u"%S bit, 100 % sure", S, false},
        {u"%S and %f", S, false},
        {u"%.2f MB of %.2f MB (%.1f%%) at %.1f kb/s", F, true},
        {u"%e %E %g %G", F, true},
        {u"%lf %+08.3f %-f % f", F, true},
        {u"%.2f MB of %.2f MB (%.1f%) at %.1f kb/s", F, false}, // "%)" is no conversion
        {u"%.2f MB of %.2f MB", F, false},
        {u"%.2f %.2f %.1f %.1f %.1f", F, false},
        {u"%.2f %.2f %d %.1f", F, false},
        {u"%.2f %.2f %S %.1f", F, false},
        {u"%.2f %.2f %.1f %n", F, false},
        {u"%.2f %.2f %.1f %I64d", F, false},
        {u"%.2f %.2f %.1f %.1a", F, false},
    };
    for (const FormatCase& c : cases) {
        const std::u16string text(c.text);
        EXPECT_EQ(holdsDownloadFormat(text, c.shape), c.accepted)
            << std::string(text.begin(), text.end()) << (c.shape == S ? " (one %S)" : " (four figures)");
    }
    for (int32_t id : {20005, 20006, 20008})
        EXPECT_TRUE(holdsDownloadFormat(defaultDownloadText(id), downloadFormatOf(id))) << id;
    EXPECT_EQ(downloadFormatOf(20008), DownloadFormat::FourFigures);
    EXPECT_EQ(downloadFormatOf(20006), DownloadFormat::OneNarrowString);
}

TEST(DownloadProgress, FiguresHoldPastFourGibibytes)
{
    constexpr uint64_t kGiB = 1ull << 30;
    // Bytes times 100 is far beyond 32 bits here and beyond 2^32 bytes as well.
    const DownloadFigures large = downloadFigures(5 * kGiB, 8 * kGiB, 4000);
    EXPECT_DOUBLE_EQ(large.megabytesDone, 5120.0);
    EXPECT_DOUBLE_EQ(large.megabytesTotal, 8192.0);
    EXPECT_DOUBLE_EQ(large.percent, 62.5);
    EXPECT_EQ(large.barPosition, 62);
    EXPECT_DOUBLE_EQ(large.kilobytesPerSecond, 5.0 * kGiB / 4000);

    const DownloadFigures small = downloadFigures(2000000, 3000000, 0);
    EXPECT_EQ(small.barPosition, 66); // truncated, never rounded up
    EXPECT_DOUBLE_EQ(small.kilobytesPerSecond, 2000000.0); // no division by zero

    const DownloadFigures done = downloadFigures(1000, 1000, 10);
    EXPECT_EQ(done.barPosition, 100);
    EXPECT_DOUBLE_EQ(done.percent, 100.0);
    const DownloadFigures empty = downloadFigures(0, 0, 10);
    EXPECT_EQ(empty.barPosition, 0);
    EXPECT_DOUBLE_EQ(empty.percent, 0.0);
}

TEST(DownloadProgress, TransferStallsWhenAWindowBringsTooLittle)
{
    // Slow but steady: 2 KiB a minute keeps going, also across the wrap of the tick count.
    StallWatch steady(0xFFFF0000u);
    uint32_t now = 0xFFFF0000u;
    for (int i = 0; i < 10; ++i) {
        now += 30000;
        EXPECT_FALSE(steady.stalled(now, 1024)) << i;
    }
    // A trickle of a few bytes a second is cut off at the end of the first full window.
    StallWatch trickle(1000);
    bool stalled = false;
    uint32_t at = 1000;
    while (!stalled && at < 1000 + 2 * kStallWindowMs) {
        at += 1000;
        stalled = trickle.stalled(at, 10);
    }
    EXPECT_TRUE(stalled);
    EXPECT_EQ(at, 1000 + kStallWindowMs);
    // One fast burst does not carry a later stall.
    StallWatch burst(0);
    EXPECT_FALSE(burst.stalled(kStallWindowMs, 1 << 20));
    EXPECT_TRUE(burst.stalled(2 * kStallWindowMs, 0));
}

TEST(DownloadChecksum, EntryTextIsSixtyFourHexDigitsOrNothing)
{
    const std::string digest = sldkpack::sha256Hex("abc", 3);
    EXPECT_EQ(digest, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sldkpack::sha256Hex("", 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    const std::string twoBlocks(119, 'x'); // padding that spills into a second block
    EXPECT_EQ(sldkpack::sha256Hex(twoBlocks.data(), twoBlocks.size()).size(), 64u);

    const std::optional<Sha256Digest> parsed = parseSha256Text(digest);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, sldkpack::sha256("abc", 3));
    std::string upper = digest;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(parseSha256Text(upper), parsed);
    for (const std::string& refused : {std::string(), digest.substr(1), digest + "0", " " + digest.substr(1),
                                       digest.substr(0, 63) + "g", std::string(64, '-')})
        EXPECT_FALSE(parseSha256Text(refused)) << refused;
}
