// CRC-32 as zlib and ZIP compute it (reflected polynomial 0xEDB88320, initial value
// 0xFFFFFFFF, result complemented).
#pragma once

#include <cstddef>
#include <cstdint>

// Continues a running CRC; start with crc = 0 and feed the bytes in order.
uint32_t crc32Update(uint32_t crc, const void* data, size_t length);

inline uint32_t crc32(const void* data, size_t length) { return crc32Update(0, data, length); }
