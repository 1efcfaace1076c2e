#include "launchcore/path_text.h"

#include <gtest/gtest.h>

#include "launchcore/text.h"

// Every rule is checked on 8-bit text and on the same text widened to UTF-16, so both
// overloads are held to one table.
namespace {

std::string narrow(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text)
        out.push_back(static_cast<char>(c));
    return out;
}

template <typename Rule8, typename Rule16>
void expectBool(const char* name, Rule8 rule8, Rule16 rule16, std::string_view input, bool expected)
{
    EXPECT_EQ(rule8(input), expected) << name << " (8-bit) of \"" << input << "\"";
    EXPECT_EQ(rule16(widenBytes(input)), expected) << name << " (UTF-16) of \"" << input << "\"";
}

template <typename Rule8, typename Rule16>
void expectText(const char* name, Rule8 rule8, Rule16 rule16, std::string_view input, std::string_view expected)
{
    EXPECT_EQ(rule8(input), expected) << name << " (8-bit) of \"" << input << "\"";
    EXPECT_EQ(narrow(rule16(widenBytes(input))), expected) << name << " (UTF-16) of \"" << input << "\"";
}

#define EXPECT_BOOL_RULE(rule, input, expected)                                                                \
    expectBool(                                                                                                \
        #rule, [](std::string_view p) { return rule(p); }, [](std::u16string_view p) { return rule(p); }, input, \
        expected)
#define EXPECT_TEXT_RULE(rule, input, expected)                                                                \
    expectText(                                                                                                \
        #rule, [](std::string_view p) { return rule(p); }, [](std::u16string_view p) { return rule(p); }, input, \
        expected)

TEST(PathText, IsRelativePath)
{
    const std::pair<const char*, bool> cases[] = {
        {"C:\\dir\\x.exe", false},
        {"c:\\", false},
        {"C:/dir", false}, // forward slash after the drive is absolute too
        {"\\\\server\\share", false},
        {"\\\\x", false},
        {"\\x", true}, // a single leading backslash is relative
        {"\\", true},
        {"\\\\", true}, // shorter than three characters
        {"name", true},
        {"C:", true},
        {"C:x", true},
        {"ab", true},
        {"", true},
        {"..\\x", true},
        {"x:\\", false},
        // One leading double quote is skipped; then four characters are needed.
        {"\"C:\\x\"", false},
        {"\"C:\\", false},
        {"\"C:", true},
        {"\"C:/", false},
        {"\"\\\\srv", false},
        {"\"\\\\", true},
        {"\"\"C:\\x", true}, // only one quote is skipped
        {"\"x\"", true},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_BOOL_RULE(isRelativePath, input, expected);
}

TEST(PathText, CollapseBackslashes)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"a\\b", "a\\b"},
        {"c:\\\\a\\\\\\b\\\\", "c:\\a\\b\\"},
        // A leading pair stays; later pairs become one.
        {"\\\\srv\\\\share\\x", "\\\\srv\\share\\x"},
        // Three (or more) leading backslashes give two.
        {"\\\\\\x", "\\\\x"},
        {"\\\\\\\\x\\\\\\\\y", "\\\\x\\y"},
        {"\\x", "\\x"},
        {"\\", "\\"},
        {"\\\\", "\\\\"},
        {"a//b", "a//b"}, // slashes are not touched
        {"a\\/\\b", "a\\/\\b"},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_TEXT_RULE(collapseBackslashes, input, expected);
}

TEST(PathText, EndsWithExe)
{
    const std::pair<const char*, bool> cases[] = {
        {"a.exe", true},     {"C:\\x\\APP.EXE", true}, {"x.ExE", true}, {".exe", false},
        {"exe", false},      {"a.exe ", false},        {"a.ex", false}, {"a.exf", false},
        {"a.exe\"", false},  {"", false},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_BOOL_RULE(endsWithExe, input, expected);
}

TEST(PathText, IsDriveRootPath)
{
    const std::pair<const char*, bool> cases[] = {
        {"C:\\", true},   {"d:\\.", true},  {"C:\\.\\.", true}, {"C:", false},   {"C:\\x", false},
        {"C:\\..", false}, {"C:\\.\\", false}, {"C:/", false},   {"", false},    {"C", false},
        {"CC:\\", false},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_BOOL_RULE(isDriveRootPath, input, expected);
}

TEST(PathText, HasWildcard)
{
    const std::pair<const char*, bool> cases[] = {
        {"C:\\x\\*.jar", true}, {"some lon? file.exe", true}, {"C:\\plain", false}, {"", false},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_BOOL_RULE(hasWildcard, input, expected);
}

TEST(PathText, WithoutTrailingBackslash)
{
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\dir\\", "C:\\dir"},
        {"C:\\dir", "C:\\dir"},
        {"dir\\\\", "dir\\"}, // only one is removed
        {"C:\\", "C:\\"},     // never from a drive root
        {"C:/", "C:/"},
        {"\\", ""},
        {"", ""},
        {"C:\\dir/", "C:\\dir/"},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_TEXT_RULE(withoutTrailingBackslash, input, expected);
}

TEST(PathText, DirectoryPart)
{
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\apps\\tool\\run.exe", "C:\\apps\\tool\\"},
        {"C:/apps/run.exe", "C:/apps/"},
        {"C:\\apps/x\\run.exe", "C:\\apps/x\\"},
        {"run.exe", ""},
        {"\\run.exe", "\\"},
        {"C:\\dir\\", "C:\\dir\\"},
        {"", ""},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_TEXT_RULE(directoryPart, input, expected);
}

TEST(PathText, WithTrailingSeparator)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", ""}, {"C:\\a", "C:\\a\\"}, {"C:\\a\\", "C:\\a\\"}, {"C:/a/", "C:/a/"}, {"c:", "c:\\"},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_TEXT_RULE(withTrailingSeparator, input, expected);
}

TEST(PathText, WideTextBeyondLatin1)
{
    EXPECT_FALSE(isRelativePath(u"\u0416:\\x"));
    EXPECT_EQ(collapseBackslashes(u"\u00E9\\\\\u4E2D"), u"\u00E9\\\u4E2D");
    EXPECT_EQ(directoryPart(u"C:\\\u4E2D\u6587\\a.exe"), u"C:\\\u4E2D\u6587\\");
    EXPECT_TRUE(endsWithExe(u"\u4E2D.EXE"));
}

} // namespace
