#include "tools/sldkpack/cli/cli.h"

#include "launchcore/text.h"

namespace sldkpack {
namespace {

// Code points of bytes 0x80-0x9F; 0 marks the five bytes Windows-1252 leaves undefined.
constexpr char16_t kHighControlBlock[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

std::optional<char> windows1252Byte(char16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
        return static_cast<char>(unit);
    for (int i = 0; i < 32; ++i)
        if (kHighControlBlock[i] != 0 && kHighControlBlock[i] == unit)
            return static_cast<char>(0x80 + i);
    return std::nullopt;
}

} // namespace

std::optional<std::string> utf8ToWindows1252(std::string_view utf8) {
    const std::u16string wide = fromUtf8(utf8);
    // fromUtf8 replaces broken input with U+FFFD, which Windows-1252 cannot hold either, so
    // invalid UTF-8 fails here like an unrepresentable character. Surrogates fail the same way.
    std::string bytes;
    bytes.reserve(wide.size());
    for (char16_t unit : wide) {
        const auto byte = windows1252Byte(unit);
        if (!byte)
            return std::nullopt;
        bytes += *byte;
    }
    return bytes;
}

} // namespace sldkpack
