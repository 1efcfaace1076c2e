#include "setuplauncher/download_progress.h"

#include <algorithm>

DownloadFigures downloadFigures(uint64_t done, uint64_t total, uint64_t elapsedMs)
{
    constexpr double kMegabyte = 1024.0 * 1024.0;
    DownloadFigures figures;
    figures.megabytesDone = static_cast<double>(done) / kMegabyte;
    figures.megabytesTotal = static_cast<double>(total) / kMegabyte;
    if (total > 0) {
        figures.percent = static_cast<double>(done) * 100.0 / static_cast<double>(total);
        const float share = static_cast<float>(static_cast<double>(done) / static_cast<double>(total) * 100.0);
        figures.barPosition = std::clamp(static_cast<int>(share), 0, 100);
    }
    figures.kilobytesPerSecond = static_cast<double>(done) / static_cast<double>(std::max<uint64_t>(elapsedMs, 1));
    return figures;
}

bool StallWatch::stalled(uint32_t now, uint64_t bytes)
{
    windowBytes_ += bytes;
    // Unsigned difference: right across the wrap of the tick count.
    if (now - windowStart_ < kStallWindowMs)
        return false;
    if (windowBytes_ < kStallBytes)
        return true;
    windowStart_ = now;
    windowBytes_ = 0;
    return false;
}
