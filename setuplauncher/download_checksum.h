// The optional SHA-256 of the downloaded runtime archive (configuration entry 2004): 64
// hexadecimal digits, either case. Shared by the launcher and the packaging tool.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

using Sha256Digest = std::array<uint8_t, 32>;

// The digest the text spells; nothing for any other text (the empty one included).
std::optional<Sha256Digest> parseSha256Text(std::string_view text);
