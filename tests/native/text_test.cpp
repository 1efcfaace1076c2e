#include "launchcore/text.h"

#include <gtest/gtest.h>

namespace {

TEST(TextConversion, WidenBytesKeepsEveryByteValue)
{
    EXPECT_EQ(widenBytes(""), u"");
    EXPECT_EQ(widenBytes("abc"), u"abc");
    EXPECT_EQ(widenBytes("\xE4\xFF\x80"), std::u16string({0x00E4, 0x00FF, 0x0080}));
    EXPECT_EQ(widenBytes(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(TextConversion, Utf8RoundTripsIncludingSurrogatePairs)
{
    const std::u16string text = u"Gr\u00FC\u00DFe \u20AC \U0001F600 end";
    const std::string utf8 = toUtf8(text);
    EXPECT_EQ(utf8, "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80 end");
    EXPECT_EQ(fromUtf8(utf8), text);
    EXPECT_EQ(fromUtf8("\xF0\x9F\x98\x80"), std::u16string({0xD83D, 0xDE00}));
}

TEST(TextConversion, InvalidInputBecomesReplacementCharacter)
{
    const std::u16string lone{u'a', 0xD800, u'b', 0xDC00};
    EXPECT_EQ(toUtf8(lone), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
    EXPECT_EQ(toUtf8(std::u16string{0xD83D}), "\xEF\xBF\xBD");

    struct Case {
        std::string utf8;
        std::u16string expected;
    };
    const Case cases[] = {
        {"\xFF", u"\uFFFD"},
        {"a\x80z", u"a\uFFFDz"},
        {"\xC3", u"\uFFFD"},           // truncated sequence
        {"\xC3z", u"\uFFFDz"},         // the next byte is not swallowed
        {"\xC0\xAF", u"\uFFFD"},       // overlong
        {"\xED\xA0\x80", u"\uFFFD"},   // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD"}, // beyond U+10FFFF
    };
    for (const Case& c : cases)
        EXPECT_EQ(fromUtf8(c.utf8), c.expected) << c.utf8;
}

TEST(TextConversion, AsciiCaseFoldingOnly)
{
    EXPECT_EQ(asciiLower('A'), 'a');
    EXPECT_EQ(asciiLower('z'), 'z');
    EXPECT_EQ(asciiLower('['), '[');
    EXPECT_EQ(asciiLower(u'\u00C4'), u'\u00C4');
    EXPECT_EQ(asciiLower(u'Q'), u'q');

    EXPECT_TRUE(equalsIgnoreAsciiCase("JAVA.EXE", "java.exe"));
    EXPECT_FALSE(equalsIgnoreAsciiCase("java.exe", "java.ex"));
    EXPECT_TRUE(equalsIgnoreAsciiCase(u"Program Files", u"pROGRAM fILES"));
    EXPECT_FALSE(equalsIgnoreAsciiCase(u"\u00C4", u"\u00E4"));
    EXPECT_TRUE(equalsIgnoreAsciiCase(u"", u""));
}

TEST(TextConversion, ListsSplitWithoutEmptyPieces)
{
    using Pieces = std::vector<std::string>;
    EXPECT_EQ(splitSkippingEmpty(";;S0.\\lib;;A1a;b;", ';'), (Pieces{"S0.\\lib", "A1a", "b"}));
    EXPECT_EQ(splitSkippingEmpty("", ';'), Pieces{});
    EXPECT_EQ(splitSkippingEmpty(";", ';'), Pieces{});
    EXPECT_EQ(splitSkippingEmpty("a,b", ';'), Pieces{"a,b"});
    EXPECT_EQ(splitSkippingEmpty(u"a,,b", u','), (std::vector<std::u16string>{u"a", u"b"}));
}

} // namespace
