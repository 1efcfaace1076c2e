#include "setuplauncher/download_texts.h"

namespace {

constexpr std::u16string_view kDownloadOffer =
    u"No suitable Java runtime was found on this computer.\nPlease locate one or download a %S-bit JRE.";
constexpr std::u16string_view kLocateOnly =
    u"No suitable Java runtime was found on this computer.\nPlease locate a %S-bit JRE.";
constexpr std::u16string_view kStatusLine = u"%.2f MB of %.2f MB (%.1f%%) at %.1f kb/s";

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads one conversion after its "%"; returns its conversion character, or 0 when the text
// there is no conversion this check accepts.
char16_t readConversion(std::u16string_view text, size_t& at)
{
    while (at < text.size() && std::u16string_view(u"-+ #0").find(text[at]) != std::u16string_view::npos)
        ++at;
    while (at < text.size() && isDigit(text[at]))
        ++at;
    if (at < text.size() && text[at] == u'.') {
        ++at;
        while (at < text.size() && isDigit(text[at]))
            ++at;
    }
    bool longModifier = false;
    if (at < text.size() && text[at] == u'l') {
        longModifier = true;
        ++at;
    }
    if (at >= text.size())
        return 0;
    const char16_t conversion = text[at++];
    const bool floating = std::u16string_view(u"feEgG").find(conversion) != std::u16string_view::npos;
    if (floating || (conversion == u'S' && !longModifier))
        return conversion;
    return 0;
}

} // namespace

DownloadFormat downloadFormatOf(int32_t messageId)
{
    return messageId == 20008 ? DownloadFormat::FourFigures : DownloadFormat::OneNarrowString;
}

bool holdsDownloadFormat(std::u16string_view text, DownloadFormat shape)
{
    int strings = 0;
    int figures = 0;
    for (size_t at = 0; at < text.size();) {
        if (text[at++] != u'%')
            continue;
        if (at < text.size() && text[at] == u'%') {
            ++at;
            continue;
        }
        const char16_t conversion = readConversion(text, at);
        if (conversion == 0)
            return false;
        if (conversion == u'S')
            ++strings;
        else
            ++figures;
    }
    if (shape == DownloadFormat::OneNarrowString)
        return strings == 1 && figures == 0;
    return strings == 0 && figures == 4;
}

std::u16string_view defaultDownloadText(int32_t messageId)
{
    switch (messageId) {
    case 20005:
        return kDownloadOffer;
    case 20006:
        return kLocateOnly;
    default:
        return kStatusLine;
    }
}
