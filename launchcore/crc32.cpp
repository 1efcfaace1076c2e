#include "launchcore/crc32.h"

#include <zlib.h>

#include <algorithm>

uint32_t crc32Update(uint32_t crc, const void* data, size_t length)
{
    // zlib takes a uInt length, so a block above 4 GiB goes in pieces; an empty block never
    // reaches zlib, which would answer 0 for a null buffer instead of the running value.
    constexpr size_t kMaxPiece = 1u << 30;
    const auto* bytes = static_cast<const Bytef*>(data);
    uLong running = crc;
    while (length > 0) {
        const size_t piece = std::min(length, kMaxPiece);
        running = ::crc32(running, bytes, static_cast<uInt>(piece));
        bytes += piece;
        length -= piece;
    }
    return static_cast<uint32_t>(running);
}
