#include "launchcore/command_line.h"

#include <gtest/gtest.h>

#include "launchcore/text.h"

namespace {

using Args = std::vector<std::u16string>;

std::string show(const Args& args)
{
    std::string out = "[";
    for (size_t i = 0; i < args.size(); ++i)
        out += (i ? "|" : "") + toUtf8(args[i]);
    return out + "]";
}

TEST(CommandLine, SplitsLikeTheLauncher)
{
    struct Case {
        std::u16string text;
        Args expected;
    };
    const Case cases[] = {
        {u"", {}},
        {u" ", {}},
        {u"a b c", {u"a", u"b", u"c"}},
        // Two (or more) spaces between arguments give no empty argument.
        {u"a  b   c", {u"a", u"b", u"c"}},
        {u"  leading", {u"leading"}},
        {u"trailing  ", {u"trailing"}},
        // Tabs do not separate.
        {u"a\tb c", {u"a\tb", u"c"}},
        // Quoted arguments lose their quotes and keep their blanks.
        {u"\"a b\" c", {u"a b", u"c"}},
        {u"'a b' c", {u"a b", u"c"}},
        {u"\"C:\\Program Files\\app.exe\" -x", {u"C:\\Program Files\\app.exe", u"-x"}},
        // Unquoted blanks split even inside a path.
        {u"C:\\Program Files\\x.exe -a", {u"C:\\Program", u"Files\\x.exe", u"-a"}},
        // A letter directly after the closing quote starts a new argument.
        {u"\"a b\"c d", {u"a b", u"c", u"d"}},
        {u"'a'b", {u"a", u"b"}},
        {u"\"a\"'b c'", {u"a", u"b c"}},
        // Text directly before the opening quote joins the quoted text.
        {u"-Dx=\"a b\" y", {u"-Dx=a b", u"y"}},
        {u"x\"a b\"y", {u"xa b", u"y"}},
        {u"a\"b\"c d", {u"ab", u"c", u"d"}},
        // One space after the closing quote is skipped; further spaces are leading blanks.
        {u"\"a\"  b", {u"a", u"b"}},
        {u"\"a\" ", {u"a"}},
        // An opening quote without a closing one takes the rest of the line.
        {u"\"a b", {u"a b"}},
        {u"x 'a b  c", {u"x", u"a b  c"}},
        {u"pre\"open rest", {u"preopen rest"}},
        // An apostrophe inside an unquoted argument opens a single-quoted part.
        {u"it's here", {u"its here"}},
        {u"it's a 'b c", {u"its a ", u"b", u"c"}},
        {u"don't stop' now", {u"dont stop", u"now"}},
        // The other quote kind is plain text inside a quoted part.
        {u"\"it's\" x", {u"it's", u"x"}},
        {u"'say \"hi\"' x", {u"say \"hi\"", u"x"}},
        // Empty quotes give an empty argument.
        {u"\"\" x", {u"", u"x"}},
        {u"a '' b", {u"a", u"", u"b"}},
        {u"\"", {u""}},
        // No escape characters: a backslash is an ordinary character.
        {u"a\\\"b c\" d", {u"a\\b c", u"d"}},
        {u"\"C:\\dir\\\" next", {u"C:\\dir\\", u"next"}},
        // The first quote of either kind decides; a lone quote at the end vanishes.
        {u"'a \"b' c\"", {u"a \"b", u"c"}},
    };
    for (const Case& c : cases) {
        Args args;
        splitCommandLine(c.text, args);
        EXPECT_EQ(args, c.expected) << "input: " << toUtf8(c.text) << " got " << show(args);
    }
}

TEST(CommandLine, AppendsToTheGivenVector)
{
    Args args{u"program"};
    splitCommandLine(u"-q \"x y\"", args);
    EXPECT_EQ(args, (Args{u"program", u"-q", u"x y"}));
}

} // namespace
