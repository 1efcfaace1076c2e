// libFuzzer target over the pipe messaging's block framing: the peer at the other end of the
// pipe decides every byte. The first input byte sets the size of the pieces the pipe hands
// out. Besides the sanitizers it checks that a decoded block is exactly its length's worth
// of the input and that writing it again gives the bytes it was read from.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "natives/block_framing.h"

namespace {

constexpr uint32_t kLimit = 1 << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint32_t piece = data[0] % 7 + 1;
    MemoryPipe pipe(data + 1, size - 1, piece);
    for (;;) {
        const size_t start = pipe.consumed();
        const std::optional<std::vector<uint8_t>> block = readBlock(pipe, kLimit);
        if (!block)
            break;
        check(block->size() <= kLimit);
        check(pipe.consumed() - start == kBlockLengthBytes + block->size());
        MemoryPipe echo(nullptr, 0);
        check(writeBlock(echo, block->data(), static_cast<uint32_t>(block->size())));
        check(echo.output().size() == pipe.consumed() - start);
        check(std::memcmp(echo.output().data(), data + 1 + start, echo.output().size()) == 0);
    }
    return 0;
}
