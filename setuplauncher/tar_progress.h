// The progress bar's position during the untar of the runtime archive, which owns the part
// 100..200 of the installer's scale.
#pragma once

#include <cstdint>
#include <optional>

// 100 plus the share of the uncompressed data read so far, clamped to 100..200 (the size
// configured at packaging time may be smaller than the data); nothing when no size was
// configured (total 0 or below), so the bar stays where it is.
std::optional<int> untarProgressPosition(int64_t position, int64_t total);
