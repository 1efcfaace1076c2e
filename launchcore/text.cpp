#include "launchcore/text.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void appendUtf16(std::u16string& out, char32_t cp)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 | (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
    }
}

bool isHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Decodes one UTF-8 sequence at text[i]; advances i past it (at least one byte) and returns
// the code point, or U+FFFD for a malformed, overlong, surrogate or out-of-range sequence.
char32_t decodeUtf8(std::string_view text, size_t& i)
{
    const auto lead = static_cast<uint8_t>(text[i]);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    size_t extra;
    char32_t cp;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07;
        minimum = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    size_t j = i + 1;
    for (size_t k = 0; k < extra; ++k, ++j) {
        if (j >= text.size() || (static_cast<uint8_t>(text[j]) & 0xC0) != 0x80) {
            // Skip only the bytes that belonged to the broken sequence.
            i = j;
            return kReplacement;
        }
        cp = (cp << 6) | (static_cast<uint8_t>(text[j]) & 0x3F);
    }
    i = j;
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return kReplacement;
    return cp;
}

} // namespace

std::u16string widenBytes(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (char c : bytes)
        out.push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
    return out;
}

std::string toUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (isHighSurrogate(c)) {
            if (i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
                c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
                ++i;
            } else {
                c = kReplacement;
            }
        } else if (isLowSurrogate(c)) {
            c = kReplacement;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::u16string fromUtf8(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size())
        appendUtf16(out, decodeUtf8(text, i));
    return out;
}

char16_t asciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

namespace {

template <typename CharT>
bool equalsIgnoreCase(std::basic_string_view<CharT> a, std::basic_string_view<CharT> b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

template <typename Char>
std::vector<std::basic_string<Char>> splitPieces(std::basic_string_view<Char> text, Char separator)
{
    std::vector<std::basic_string<Char>> pieces;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::basic_string_view<Char>::npos)
            end = text.size();
        if (end > start)
            pieces.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

} // namespace

std::vector<std::string> splitSkippingEmpty(std::string_view text, char separator)
{
    return splitPieces(text, separator);
}

std::vector<std::u16string> splitSkippingEmpty(std::u16string_view text, char16_t separator)
{
    return splitPieces(text, separator);
}

bool equalsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b) { return equalsIgnoreCase(a, b); }

bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b) { return equalsIgnoreCase(a, b); }
