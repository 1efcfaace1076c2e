#include "launchcore/version_rules.h"

#include <limits>

namespace {

bool isSeparator(char c) { return c == '.' || c == '_' || c == '-' || c == '+'; }

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// strtol on one piece, with Windows' 32-bit long: the clamp must not depend on the host's
// long, or native tests and the launcher would disagree about huge components.
int32_t pieceValue(std::string_view piece)
{
    size_t i = 0;
    while (i < piece.size() && isBlank(piece[i]))
        ++i;
    bool negative = false;
    if (i < piece.size() && (piece[i] == '+' || piece[i] == '-'))
        negative = piece[i++] == '-';
    int64_t value = 0;
    constexpr int64_t limit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i) {
        value = value * 10 + (piece[i] - '0');
        if (value > limit)
            value = limit;
    }
    if (negative)
        return value >= limit ? std::numeric_limits<int32_t>::min() : static_cast<int32_t>(-value);
    return value >= limit ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(value);
}

} // namespace

VersionVector parseVersion(std::string_view text)
{
    VersionVector vector;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isSeparator(text[i]))
            ++i;
        if (i == text.size())
            break;
        const size_t start = i;
        while (i < text.size() && !isSeparator(text[i]))
            ++i;
        vector.push_back(pieceValue(text.substr(start, i - start)));
    }
    return vector;
}

bool versionWithinBound(const VersionVector& bound, const VersionVector& version, bool isMaximum, bool prefixMode)
{
    for (size_t i = 0; i < bound.size(); ++i) {
        if (i >= version.size() && prefixMode)
            return true;
        const int32_t component = i < version.size() ? version[i] : 0;
        if (component == bound[i])
            continue;
        return isMaximum ? component < bound[i] : component > bound[i];
    }
    return true;
}

bool versionGreater(std::string_view a, std::string_view b)
{
    const VersionVector left = parseVersion(a);
    const VersionVector right = parseVersion(b);
    for (size_t i = 0; i < left.size(); ++i) {
        if (i >= right.size())
            return true;
        if (left[i] != right[i])
            return left[i] > right[i];
    }
    return false;
}
