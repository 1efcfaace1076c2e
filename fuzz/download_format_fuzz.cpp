// libFuzzer target over the check of the download texts, which come from the message table
// and its locale overrides and then reach a printf formatter. Every text the check accepts
// is handed to the C library's own format parser, which must find exactly the arguments the
// installer passes: one string, or four doubles.
#include <printf.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "setuplauncher/download_texts.h"

namespace {

// The text as a narrow format for the C library. In the installer's wide formats "%S" is an
// 8-bit string, which is "%s" here; every other unit keeps its ASCII meaning or becomes a
// plain character.
std::string narrowFormat(const std::u16string& text)
{
    std::string format;
    for (char16_t unit : text)
        format.push_back(unit == u'S' ? 's' : unit > 0 && unit < 0x80 ? static_cast<char>(unit) : 'x');
    return format;
}

void checkArguments(const std::u16string& text, DownloadFormat shape)
{
    if (!holdsDownloadFormat(text, shape))
        return;
    int types[8];
    const size_t count = parse_printf_format(narrowFormat(text).c_str(), 8, types);
    const size_t expected = shape == DownloadFormat::OneNarrowString ? 1 : 4;
    check(count == expected);
    for (size_t i = 0; i < count; ++i)
        check(types[i] == (shape == DownloadFormat::OneNarrowString ? PA_STRING : PA_DOUBLE));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    checkArguments(text, DownloadFormat::OneNarrowString);
    checkArguments(text, DownloadFormat::FourFigures);
    return 0;
}
