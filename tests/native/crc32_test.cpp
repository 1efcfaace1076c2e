#include "launchcore/crc32.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

uint32_t crcOf(std::string_view text) { return crc32(text.data(), text.size()); }

TEST(Crc32, MatchesZlibCheckValues)
{
    EXPECT_EQ(crcOf("123456789"), 0xCBF43926u);
    EXPECT_EQ(crcOf(""), 0u);
    EXPECT_EQ(crcOf("a"), 0xE8B7BE43u);
    EXPECT_EQ(crcOf("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
    const std::string zeros(32, '\0');
    EXPECT_EQ(crcOf(zeros), 0x190A55ADu);
}

TEST(Crc32, IncrementalEqualsOneShot)
{
    std::string data;
    for (int i = 0; i < 5000; ++i)
        data.push_back(static_cast<char>((i * 131) ^ (i >> 3)));
    const uint32_t whole = crcOf(data);

    for (size_t split : {size_t{0}, size_t{1}, size_t{7}, size_t{2500}, data.size() - 1, data.size()}) {
        uint32_t crc = crc32Update(0, data.data(), split);
        crc = crc32Update(crc, data.data() + split, data.size() - split);
        EXPECT_EQ(crc, whole) << "split at " << split;
    }

    uint32_t byByte = 0;
    for (char c : data)
        byByte = crc32Update(byByte, &c, 1);
    EXPECT_EQ(byByte, whole);

    EXPECT_EQ(crc32Update(whole, nullptr, 0), whole);
}

} // namespace
