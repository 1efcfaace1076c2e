#include "natives/block_framing.h"

#include <algorithm>
#include <cstring>

namespace {

// The most one call asks of the layer, so a size_t never overflows its 32-bit count.
constexpr size_t kLargestPiece = 0x40000000;

} // namespace

bool readFully(PipeLayer& pipe, void* buffer, size_t size)
{
    auto* at = static_cast<uint8_t*>(buffer);
    while (size > 0) {
        uint32_t got = 0;
        const auto piece = static_cast<uint32_t>(std::min(size, kLargestPiece));
        if (!pipe.read(at, piece, got) || got == 0 || got > piece)
            return false;
        at += got;
        size -= got;
    }
    return true;
}

bool writeFully(PipeLayer& pipe, const void* data, size_t size)
{
    const auto* at = static_cast<const uint8_t*>(data);
    while (size > 0) {
        uint32_t put = 0;
        const auto piece = static_cast<uint32_t>(std::min(size, kLargestPiece));
        if (!pipe.write(at, piece, put) || put == 0 || put > piece)
            return false;
        at += put;
        size -= put;
    }
    return true;
}

bool readBlock(PipeLayer& pipe, const std::function<void*(uint32_t length)>& payloadFor)
{
    uint8_t field[kBlockLengthBytes];
    if (!readFully(pipe, field, sizeof field))
        return false;
    const uint32_t length = uint32_t{field[0]} | uint32_t{field[1]} << 8 | uint32_t{field[2]} << 16 |
                            uint32_t{field[3]} << 24;
    void* payload = payloadFor(length);
    if (!payload && length > 0)
        return false;
    return readFully(pipe, payload, length);
}

std::optional<std::vector<uint8_t>> readBlock(PipeLayer& pipe, uint32_t limit)
{
    std::vector<uint8_t> payload;
    const bool complete = readBlock(pipe, [&](uint32_t length) -> void* {
        if (length > limit)
            return nullptr;
        payload.resize(length);
        return payload.data();
    });
    if (!complete)
        return std::nullopt;
    return payload;
}

bool writeBlock(PipeLayer& pipe, const void* payload, uint32_t size)
{
    const uint8_t field[kBlockLengthBytes] = {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                                              static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 24)};
    return writeFully(pipe, field, sizeof field) && writeFully(pipe, payload, size) && pipe.flush();
}

bool MemoryPipe::read(void* buffer, uint32_t size, uint32_t& got)
{
    got = static_cast<uint32_t>(std::min<size_t>({size, chunk_, size_ - position_}));
    if (got > 0)
        std::memcpy(buffer, input_ + position_, got);
    position_ += got;
    return true;
}

bool MemoryPipe::write(const void* data, uint32_t size, uint32_t& put)
{
    put = std::min(size, chunk_);
    const auto* bytes = static_cast<const uint8_t*>(data);
    output_.insert(output_.end(), bytes, bytes + put);
    return true;
}
