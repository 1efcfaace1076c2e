// The pipe blocks over memory: pieces of any size, the exact wire bytes, and every way a
// block can fail to arrive or to leave.
#include "natives/block_framing.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::vector<uint8_t> pattern(size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

// A layer that moves up to `accepted` bytes per call and then answers as told.
struct ScriptedPipe final : PipeLayer {
    uint32_t accepted = UINT32_MAX;
    bool callSucceeds = true;
    bool flushSucceeds = true;
    int calls = 0;
    bool read(void*, uint32_t size, uint32_t& got) override { return move(size, got); }
    bool write(const void*, uint32_t size, uint32_t& put) override { return move(size, put); }
    bool flush() override { return flushSucceeds; }
    bool move(uint32_t size, uint32_t& moved)
    {
        ++calls;
        moved = std::min(size, accepted);
        return callSucceeds;
    }
};

} // namespace

TEST(BlockFraming, BlocksSurvivePiecesOfAnySizeBothWays)
{
    for (const size_t size : {0u, 1u, 3u, 70000u, 1u << 20}) {
        const std::vector<uint8_t> payload = pattern(size);
        for (const uint32_t chunk : {1u, 3u, 4096u, 65536u, UINT32_MAX}) {
            if (chunk < 4096 && size > 70000)
                continue;
            SCOPED_TRACE(testing::Message() << size << " bytes in pieces of " << chunk);
            MemoryPipe out(nullptr, 0, chunk);
            ASSERT_TRUE(writeBlock(out, payload.data(), static_cast<uint32_t>(size)));
            const std::vector<uint8_t>& wire = out.output();
            ASSERT_EQ(wire.size(), size + 4);
            EXPECT_EQ(wire[0] | wire[1] << 8 | wire[2] << 16 | wire[3] << 24, static_cast<int>(size));
            EXPECT_TRUE(std::equal(payload.begin(), payload.end(), wire.begin() + 4));

            MemoryPipe in(wire.data(), wire.size(), chunk);
            EXPECT_EQ(readBlock(in, UINT32_MAX), payload);
            EXPECT_EQ(in.consumed(), wire.size());
        }
    }
}

TEST(BlockFraming, ConsecutiveBlocksAreReadOneAtATime)
{
    const std::vector<uint8_t> wire = {2, 0, 0, 0, 'a', 'b', 0, 0, 0, 0, 1, 0, 0, 0, 'c', 0x7f};
    MemoryPipe in(wire.data(), wire.size(), 3);
    EXPECT_EQ(readBlock(in, 100), (std::vector<uint8_t>{'a', 'b'}));
    EXPECT_EQ(readBlock(in, 100), std::vector<uint8_t>{});
    EXPECT_EQ(readBlock(in, 100), std::vector<uint8_t>{'c'});
    EXPECT_EQ(in.consumed(), 15u); // the stray byte after the last block is not touched
}

TEST(BlockFraming, IncompleteOrRefusedBlocksFail)
{
    const struct {
        const char* what;
        std::vector<uint8_t> wire;
        uint32_t limit;
    } cases[] = {
        {"nothing at all", {}, 100},
        {"a length cut short", {5, 0, 0}, 100},
        {"the peer gone mid-payload", {10, 0, 0, 0, 1, 2, 3, 4, 5}, 100},
        {"a length above what the reader holds", {0x65, 0, 0, 0}, 100},
        {"the largest length", {0xff, 0xff, 0xff, 0xff, 1}, UINT32_MAX - 1},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.what);
        MemoryPipe in(item.wire.data(), item.wire.size(), 2);
        EXPECT_EQ(readBlock(in, item.limit), std::nullopt);
    }
}

TEST(BlockFraming, FailedAndEmptyTransfersEndTheCall)
{
    uint8_t buffer[8] = {};
    const struct {
        const char* what;
        uint32_t accepted;
        bool callSucceeds;
        bool flushSucceeds;
    } cases[] = {
        {"every call fails", UINT32_MAX, false, true},
        {"every call succeeds with nothing", 0, true, true},
        {"the flush fails", UINT32_MAX, true, false},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.what);
        ScriptedPipe pipe;
        pipe.accepted = item.accepted;
        pipe.callSucceeds = item.callSucceeds;
        pipe.flushSucceeds = item.flushSucceeds;
        EXPECT_FALSE(writeBlock(pipe, buffer, sizeof buffer));
        EXPECT_LE(pipe.calls, 2); // the length and at most one payload call, never a retry
        if (item.flushSucceeds) {
            pipe.calls = 0;
            EXPECT_FALSE(readFully(pipe, buffer, sizeof buffer));
            EXPECT_EQ(pipe.calls, 1);
        }
    }
    // A layer claiming more than it was asked for is not believed.
    struct Overreporting final : PipeLayer {
        bool read(void*, uint32_t size, uint32_t& got) override { return got = size + 1, true; }
        bool write(const void*, uint32_t size, uint32_t& put) override { return put = size + 1, true; }
        bool flush() override { return true; }
    } overreporting;
    EXPECT_FALSE(readFully(overreporting, buffer, sizeof buffer));
    EXPECT_FALSE(writeFully(overreporting, buffer, sizeof buffer));
}
