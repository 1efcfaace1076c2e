// SHA-256, for the checksum of the runtime archive a launcher downloads (entry 2004).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace sldkpack {

std::array<uint8_t, 32> sha256(const void* data, size_t length);
// The digest as 64 lower-case hexadecimal digits.
std::string sha256Hex(const void* data, size_t length);

} // namespace sldkpack
