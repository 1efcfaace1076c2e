// The pipe blocks over memory: pieces of any size, the exact wire bytes, and blocks that
// fail to arrive or to leave.
#include "natives/block_framing.h"

#include <gtest/gtest.h>

namespace {

// Every call moves nothing and succeeds or fails as told; the calls are counted.
struct StuckPipe final : PipeLayer {
    bool succeeds = true;
    int calls = 0;
    bool read(void*, uint32_t, uint32_t& got) override { return ++calls, got = 0, succeeds; }
    bool write(const void*, uint32_t, uint32_t& put) override { return ++calls, put = 0, succeeds; }
    bool flush() override { return true; }
};

using Bytes = std::vector<uint8_t>;

} // namespace

TEST(BlockFraming, BlocksSurvivePiecesOfAnySize)
{
    for (const uint32_t size : {0u, 1u, 70000u, 1u << 20}) {
        Bytes wire = {uint8_t(size), uint8_t(size >> 8), uint8_t(size >> 16), uint8_t(size >> 24)};
        for (uint32_t i = 0; i < size; ++i)
            wire.push_back(uint8_t(i * 7 + i / 251));
        const Bytes payload(wire.begin() + 4, wire.end());
        for (const uint32_t chunk : {1u, 3u, 65536u, UINT32_MAX}) {
            if (chunk < 4096 && size > 70000)
                continue;
            SCOPED_TRACE(testing::Message() << size << " bytes in pieces of " << chunk);
            MemoryPipe out(nullptr, 0, chunk);
            ASSERT_TRUE(writeBlock(out, payload.data(), size));
            EXPECT_EQ(out.output(), wire);
            MemoryPipe in(wire.data(), wire.size(), chunk);
            EXPECT_EQ(readBlock(in, UINT32_MAX), payload);
            EXPECT_EQ(in.consumed(), wire.size());
        }
    }
}

TEST(BlockFraming, IncompleteRefusedOrStuckTransfersFail)
{
    const Bytes stream = {2, 0, 0, 0, 'a', 'b', 0, 0, 0, 0, 0x7f};
    MemoryPipe consecutive(stream.data(), stream.size(), 3);
    EXPECT_EQ(readBlock(consecutive, 100), (Bytes{'a', 'b'}));
    EXPECT_EQ(readBlock(consecutive, 100), Bytes{});
    EXPECT_EQ(consecutive.consumed(), 10u); // nothing of the next block is taken

    const struct {
        const char* what;
        Bytes wire;
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

    // A call that fails, or succeeds moving nothing, is never retried.
    for (const bool succeeds : {false, true}) {
        SCOPED_TRACE(succeeds ? "moving nothing" : "failing");
        StuckPipe pipe;
        pipe.succeeds = succeeds;
        EXPECT_FALSE(writeBlock(pipe, "x", 1));
        EXPECT_EQ(readBlock(pipe, 100), std::nullopt);
        EXPECT_EQ(pipe.calls, 2);
    }
}
