// The arithmetic of a download's progress: the figures of the status line and the bar's
// share, and the rule that ends a transfer that has all but stopped. Figures are doubles
// throughout: bytes times 100 leaves 32 bits at about 42 MB.
#pragma once

#include <cstdint>

struct DownloadFigures {
    double megabytesDone = 0;
    double megabytesTotal = 0;
    double percent = 0;
    double kilobytesPerSecond = 0; // bytes per millisecond
    int barPosition = 0;           // 0..100, truncated
};

// With a total of 0 every share is 0; an elapsed time of 0 counts as one millisecond.
DownloadFigures downloadFigures(uint64_t done, uint64_t total, uint64_t elapsedMs);

// The status line is rewritten when more than this has passed since the last time.
inline constexpr uint32_t kStatusIntervalMs = 500;

// A transfer that brings fewer than kStallBytes within kStallWindowMs has stalled: a
// server that trickles a few bytes at a time would otherwise hold the installer for ever.
inline constexpr uint32_t kStallWindowMs = 60000;
inline constexpr uint64_t kStallBytes = 1024;

class StallWatch {
public:
    explicit StallWatch(uint32_t startTick) : windowStart_(startTick) {}
    // After each read: the tick count (wrapping, 32 bits) and the bytes it brought. True when
    // the transfer has stalled.
    bool stalled(uint32_t now, uint64_t bytes);

private:
    uint32_t windowStart_;
    uint64_t windowBytes_ = 0;
};
