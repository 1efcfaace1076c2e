#include "setuplauncher/tar_progress.h"

#include <algorithm>

std::optional<int> untarProgressPosition(int64_t position, int64_t total)
{
    if (total <= 0)
        return std::nullopt;
    const double share = static_cast<double>(position) / static_cast<double>(total) * 100.0;
    return static_cast<int>(std::clamp(100.0 + share, 100.0, 200.0));
}
