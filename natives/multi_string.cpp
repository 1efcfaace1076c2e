#include "natives/multi_string.h"

std::vector<std::u16string> multiStrings(const unsigned char* data, size_t size)
{
    std::vector<std::u16string> strings;
    const size_t count = size / 2;
    // The bytes may lie at any alignment; each unit is put together from its two bytes.
    const auto unitAt = [data](size_t at) { return static_cast<char16_t>(data[2 * at] | data[2 * at + 1] << 8); };
    for (size_t at = 0; at + 1 < count;) {
        std::u16string text;
        while (at < count && unitAt(at) != u'\0')
            text.push_back(unitAt(at++));
        strings.push_back(std::move(text));
        ++at;
    }
    return strings;
}
