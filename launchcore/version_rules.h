// Java version texts: parsing into version vectors, the minimum and maximum bounds, and
// the ordering used to pick between runtimes.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

using VersionVector = std::vector<int32_t>;

// Splits at every character of "._-+" (runs count as one, leading and trailing separators
// give nothing) and converts each piece like strtol (blanks and a sign, stop at the first
// non-digit, no digits give 0, clamped to 32 bits). "1.8.0_181-b13" gives 1, 8, 0, 181, 0.
VersionVector parseVersion(std::string_view text);

// An empty bound accepts everything; both bounds are inclusive and compare only as many
// components as the bound has. In prefix mode (registry key names) a version that runs out
// of components is accepted.
bool versionWithinBound(const VersionVector& bound, const VersionVector& version, bool isMaximum, bool prefixMode);

// a is greater when the first differing component is greater, or when b runs out first
// ("1.8.0" is greater than "1.8"); an empty a is never greater.
bool versionGreater(std::string_view a, std::string_view b);
