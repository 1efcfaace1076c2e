// The texts of the runtime download that are printf formats: the dialog texts (one 8-bit
// string, the bitness) and the status line (four figures). They come from the message table
// and its locale overrides, so they are checked before they reach a formatter: a stray
// conversion would read an argument that was never passed.
#pragma once

#include <cstdint>
#include <string_view>

// What a text must hold besides plain characters and "%%".
enum class DownloadFormat {
    OneNarrowString, // exactly one %S, with optional flags, width and precision
    FourFigures,     // exactly four floating conversions (f, e, g, E, G; "l" allowed)
};

// The message's shape: 20005 and 20006 take the bitness, 20008 the four figures.
DownloadFormat downloadFormatOf(int32_t messageId);

// Whether the text holds exactly the conversions of the shape and nothing a formatter could
// misread (no other conversion, no "*" width, no lone "%").
bool holdsDownloadFormat(std::u16string_view text, DownloadFormat shape);

// The English text used when the message table's text fails the check.
std::u16string_view defaultDownloadText(int32_t messageId);
