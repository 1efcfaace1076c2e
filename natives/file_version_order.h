// How two files' versions compare: the file version of each one's fixed version information
// (two 32-bit halves, the most significant first, both unsigned), or no answer when either
// could not be read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

struct FileVersionNumber {
    uint32_t mostSignificant = 0;
    uint32_t leastSignificant = 0;
};

// The answers of FileVersion.compare0.
enum FileVersionOrder : int {
    kSameFileVersion = 0,
    kFirstFileNewer = 1,
    kFirstFileOlder = 2,
    kFileVersionUnreadable = 3,
};

// The fixed version information block as the version resource holds it: signature,
// structure version, then the file version's halves; 52 bytes in all.
inline constexpr size_t kFixedVersionInfoBytes = 52;

// The file version from a fixed-information block of the given length. A shorter block (a
// damaged resource) has no version: reading it whole would pass its end.
inline std::optional<FileVersionNumber> fixedFileVersion(const void* block, size_t length)
{
    if (!block || length < kFixedVersionInfoBytes)
        return std::nullopt;
    FileVersionNumber version;
    std::memcpy(&version.mostSignificant, static_cast<const unsigned char*>(block) + 8, sizeof(uint32_t));
    std::memcpy(&version.leastSignificant, static_cast<const unsigned char*>(block) + 12, sizeof(uint32_t));
    return version;
}

inline FileVersionOrder compareFileVersions(const std::optional<FileVersionNumber>& first,
                                            const std::optional<FileVersionNumber>& second)
{
    if (!first || !second)
        return kFileVersionUnreadable;
    const uint64_t a = (uint64_t{first->mostSignificant} << 32) | first->leastSignificant;
    const uint64_t b = (uint64_t{second->mostSignificant} << 32) | second->leastSignificant;
    if (a == b)
        return kSameFileVersion;
    return a > b ? kFirstFileNewer : kFirstFileOlder;
}
