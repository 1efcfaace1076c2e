// A minimal PE image: enough headers for the launcher's section walk and nothing a loader
// would run. Tests append data to it instead of shipping a real executable.
#pragma once

#include <cstdint>
#include <vector>

namespace sldkpack {

struct SyntheticSection {
    uint32_t rawOffset;
    uint32_t rawSize;
};

// DOS header (e_lfanew 0x80), "PE\0\0", an x64 COFF header, a zeroed PE32+ optional header
// of optionalHeaderSize bytes and one section header per section. The file is as long as
// the furthest section end; section bytes are filled with a counting pattern. overlay is
// appended after that, as a linker's symbol table or an earlier packaging would be.
inline std::vector<uint8_t> syntheticPe(const std::vector<SyntheticSection>& sections,
                                        const std::vector<uint8_t>& overlay = {},
                                        uint16_t optionalHeaderSize = 240) {
    constexpr uint32_t peOffset = 0x80;
    const uint32_t tableOffset = peOffset + 24 + optionalHeaderSize;
    uint32_t size = tableOffset + 40 * static_cast<uint32_t>(sections.size());
    for (const auto& section : sections)
        if (section.rawOffset + section.rawSize > size)
            size = section.rawOffset + section.rawSize;
    std::vector<uint8_t> image(size, 0);
    auto put16 = [&](uint32_t at, uint16_t value) {
        image[at] = static_cast<uint8_t>(value);
        image[at + 1] = static_cast<uint8_t>(value >> 8);
    };
    auto put32 = [&](uint32_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            image[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    image[0] = 'M';
    image[1] = 'Z';
    put32(60, peOffset);
    image[peOffset] = 'P';
    image[peOffset + 1] = 'E';
    put16(peOffset + 4, 0x8664);
    put16(peOffset + 6, static_cast<uint16_t>(sections.size()));
    put16(peOffset + 20, optionalHeaderSize);
    if (optionalHeaderSize >= 2)
        put16(peOffset + 24, 0x20B);
    for (size_t i = 0; i < sections.size(); ++i) {
        const uint32_t header = tableOffset + 40 * static_cast<uint32_t>(i);
        image[header] = '.';
        image[header + 1] = static_cast<uint8_t>('a' + i);
        put32(header + 16, sections[i].rawSize);
        put32(header + 20, sections[i].rawOffset);
        for (uint32_t b = 0; b < sections[i].rawSize; ++b)
            image[sections[i].rawOffset + b] = static_cast<uint8_t>(i * 31 + b);
    }
    image.insert(image.end(), overlay.begin(), overlay.end());
    return image;
}

} // namespace sldkpack
