#include "launchcore/crc32.h"

#include <gtest/gtest.h>

#include <sys/mman.h>

#include <array>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

uint32_t crcOf(std::string_view text) { return crc32(text.data(), text.size()); }

// An independent byte-at-a-time table CRC: zlib's result must match it exactly, since
// installers already packed with it carry such values.
uint32_t referenceCrc(const uint8_t* bytes, size_t length)
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i)
        crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

TEST(Crc32, MatchesZlibCheckValues)
{
    EXPECT_EQ(crcOf("123456789"), 0xCBF43926u);
    EXPECT_EQ(crcOf(""), 0u);
    EXPECT_EQ(crc32(nullptr, 0), 0u);
    EXPECT_EQ(crcOf("a"), 0xE8B7BE43u);
    EXPECT_EQ(crcOf("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
    const std::string zeros(32, '\0');
    EXPECT_EQ(crcOf(zeros), 0x190A55ADu);
}

TEST(Crc32, EqualsTableCrcWholeAndInBlocks)
{
    std::mt19937 random(20240917);
    // Sizes around zlib's word and braid boundaries, and the 12000-byte read block.
    for (size_t size : {1, 3, 7, 8, 15, 16, 31, 32, 63, 64, 255, 256, 4095, 12000, 12001, 65537, 1 << 20}) {
        std::vector<uint8_t> data(size);
        for (auto& b : data)
            b = static_cast<uint8_t>(random());
        const uint32_t expected = referenceCrc(data.data(), data.size());
        EXPECT_EQ(crc32(data.data(), data.size()), expected) << "size " << size;

        // Misaligned starts and uneven blocks, as a reader that gets short reads sees them.
        for (size_t block : {size_t{1}, size_t{5}, size_t{12000}}) {
            if (block == 1 && size > 70000)
                continue;
            uint32_t crc = kCrc32Start;
            for (size_t done = 0; done < size; done += block)
                crc = crc32Update(crc, data.data() + done, std::min(block, size - done));
            EXPECT_EQ(crc, expected) << "size " << size << " block " << block;
        }
        const size_t split = random() % (size + 1);
        uint32_t crc = crc32Update(kCrc32Start, data.data(), split);
        crc = crc32Update(crc, data.data() + split, size - split);
        EXPECT_EQ(crc, expected) << "size " << size << " split " << split;
        EXPECT_EQ(crc32Update(crc, nullptr, 0), expected);
    }
}

// A block longer than zlib's 32-bit length must not wrap: the untouched pages of an anonymous
// mapping read as zeros without using memory.
TEST(Crc32, BlockAboveFourGibibytes)
{
    const size_t size = (size_t{1} << 32) + 5;
    void* mapping = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(mapping, MAP_FAILED);
    const auto* zeros = static_cast<const uint8_t*>(mapping);
    EXPECT_EQ(crc32(zeros, size), 0xB1C2A1A3u); // a wrapped length would give 0xC622F71D
    munmap(mapping, size);
}

} // namespace
