// CRC-32 as zlib and ZIP compute it (reflected polynomial 0xEDB88320, initial value
// 0xFFFFFFFF, result complemented); the launchers and sldkpack must agree bit for bit, so
// both go through this one function.
#pragma once

#include <cstddef>
#include <cstdint>

// The running value for no bytes yet; it is also the CRC of no bytes.
inline constexpr uint32_t kCrc32Start = 0;

// Continues a running CRC: start with kCrc32Start and feed the blocks in order; the value
// after the last block is the CRC of them all.
uint32_t crc32Update(uint32_t crc, const void* data, size_t length);

inline uint32_t crc32(const void* data, size_t length) { return crc32Update(kCrc32Start, data, length); }
