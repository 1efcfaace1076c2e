#include "launchcore/vm_option_grammar.h"

#include <gtest/gtest.h>

#include "launchcore/text.h"

namespace {

using Lines = std::vector<std::u16string>;
using Options = std::vector<std::string>;

std::string show(const Lines& lines)
{
    std::string out = "[";
    for (size_t i = 0; i < lines.size(); ++i)
        out += (i ? "|" : "") + toUtf8(lines[i]);
    return out + "]";
}

TEST(VmOptionGrammar, ClassifiesOptionLines)
{
    const struct {
        std::u16string line;
        OptionLineKind kind;
        std::u16string text;
    } cases[] = {
        {u"-include-options other.vmoptions", OptionLineKind::Include, u"other.vmoptions"},
        {u"-include-options ", OptionLineKind::Include, u""},
        {u"-include-options  two blanks", OptionLineKind::Include, u" two blanks"},
        {u"-classpath C:\\a.jar;b.jar", OptionLineKind::ClasspathReplacement, u"C:\\a.jar;b.jar"},
        {u"-classpath/p pre.jar", OptionLineKind::ClasspathPrefix, u"pre.jar"},
        {u"-classpath/a post.jar", OptionLineKind::ClasspathSuffix, u"post.jar"},
        // Without the trailing blank, or in another case, they are plain options.
        {u"-classpath", OptionLineKind::Option, u"-classpath"},
        {u"-classpath/p", OptionLineKind::Option, u"-classpath/p"},
        {u"-include-options", OptionLineKind::Option, u"-include-options"},
        {u"-ClassPath x", OptionLineKind::Option, u"-ClassPath x"},
        {u"-classpath/x y", OptionLineKind::Option, u"-classpath/x y"},
        {u"-cp x", OptionLineKind::Option, u"-cp x"},
        {u" -classpath x", OptionLineKind::Option, u" -classpath x"},
        {u"-Xmx512m", OptionLineKind::Option, u"-Xmx512m"},
        {u"", OptionLineKind::Option, u""},
    };
    for (const auto& c : cases) {
        const OptionLine line = classifyOptionLine(c.line);
        EXPECT_EQ(line.kind, c.kind) << toUtf8(c.line);
        EXPECT_EQ(toUtf8(line.text), toUtf8(c.text)) << toUtf8(c.line);
    }
}

TEST(VmOptionGrammar, TrimsVmOptionsFileLines)
{
    const struct {
        std::string raw;
        std::optional<std::string> line;
    } cases[] = {
        {"-Xmx1g\n", "-Xmx1g"},
        {"-Xmx1g\r\n", "-Xmx1g"},
        {"-Xmx1g\r\r\n\n", "-Xmx1g"},
        {"   -Dx=a b   \r\n", "-Dx=a b"},
        // Only the space is a blank; tabs stay, also before a "#".
        {"\t-Dx=1\t\n", "\t-Dx=1\t"},
        {"\t# not a comment", "\t# not a comment"},
        // CR and LF are removed only at the end, before the blanks.
        {"-Dx=1 \r ", "-Dx=1 \r"},
        {"", std::nullopt},
        {"\r\n", std::nullopt},
        {"      \n", std::nullopt},
        {"# comment\n", std::nullopt},
        {"   # indented comment", std::nullopt},
        {"#", std::nullopt},
        {"-Dx=1 # not a comment", "-Dx=1 # not a comment"},
        {std::string(40000, 'x') + "\n", std::string(40000, 'x')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vmOptionsFileLine(c.raw), c.line) << c.raw.substr(0, 40);
}

TEST(VmOptionGrammar, WordRuleJoinsIncludeWithTheNextWord)
{
    const struct {
        Lines words;
        Lines lines;
    } cases[] = {
        {{u"-Xmx1g", u"-Dx=1"}, {u"-Xmx1g", u"-Dx=1"}},
        {{u"-include-options", u"a.vmoptions", u"-Dx=1"}, {u"-include-options a.vmoptions", u"-Dx=1"}},
        {{u"-include-options", u"-include-options", u"-include-options"},
         {u"-include-options -include-options", u"-include-options"}},
        // The last word alone stays an (odd) option.
        {{u"-Dx=1", u"-include-options"}, {u"-Dx=1", u"-include-options"}},
        // Only the exact word joins; "-classpath" is not joined with its value.
        {{u"-classpath", u"a.jar"}, {u"-classpath", u"a.jar"}},
        {{u"-include-options=x", u"y"}, {u"-include-options=x", u"y"}},
        {{}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(optionLinesFromWords(c.words), c.lines) << show(c.words);
}

TEST(VmOptionGrammar, MergesModuleOptionsWithTheirValue)
{
    const struct {
        Options options;
        Options merged;
    } cases[] = {
        {{"--add-opens", "java.base/java.lang=ALL-UNNAMED", "-Xmx1g"},
         {"--add-opens=java.base/java.lang=ALL-UNNAMED", "-Xmx1g"}},
        {{"--upgrade-module-path", "u", "--add-modules", "m", "--limit-modules", "l", "--add-exports", "e",
          "--add-reads", "r", "--patch-module", "p"},
         {"--upgrade-module-path=u", "--add-modules=m", "--limit-modules=l", "--add-exports=e", "--add-reads=r",
          "--patch-module=p"}},
        // A trailing name stays as it is.
        {{"-Xmx1g", "--add-modules"}, {"-Xmx1g", "--add-modules"}},
        // The next element is taken whatever it holds, even another module option.
        {{"--add-modules", "--add-opens", "x"}, {"--add-modules=--add-opens", "x"}},
        {{"--add-opens", "-Xmx1g"}, {"--add-opens=-Xmx1g"}},
        // Only the exact names, case-sensitive.
        {{"--add-opens=a", "b"}, {"--add-opens=a", "b"}},
        {{"--Add-Opens", "b", "--add-open", "c"}, {"--Add-Opens", "b", "--add-open", "c"}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        Options options = c.options;
        mergeModuleOptions(options);
        EXPECT_EQ(options, c.merged);
    }
}

TEST(VmOptionGrammar, JavaOptionArguments)
{
    EXPECT_EQ(javaOptionArguments({u"-J-Xmx1g", u"app", u"-j-no", u"-J", u"x-J-y", u"-J-classpath a"}),
              (Lines{u"-Xmx1g", u"", u"-classpath a"}));
}

TEST(VmOptionGrammar, LocaleOptionLines)
{
    const struct {
        Lines arguments;
        const char* language;
        const char* country;
        Lines lines;
    } cases[] = {
        {{u"a", u"b"}, "de", "CH", {}},
        {{u"-Dsun.locale.formatasdefault=true"}, "de", "CH", {u"-Dsun.locale.formatasdefault=true"}},
        {{u"-Dsun.locale.formatasdefault=false"},
         "de",
         "CH",
         {u"-Dsun.locale.formatasdefault=false", u"-Duser.language=de", u"-Duser.country=CH"}},
        {{u"-Dsun.locale.formatasdefault=TRUE"},
         "fr",
         "",
         {u"-Dsun.locale.formatasdefault=TRUE", u"-Duser.language=fr"}},
        {{u"-Dsun.locale.formatasdefault=x"}, "", "", {u"-Dsun.locale.formatasdefault=x"}},
        // The last one counts.
        {{u"-Dsun.locale.formatasdefault=false", u"-Dsun.locale.formatasdefault=true"},
         "de",
         "CH",
         {u"-Dsun.locale.formatasdefault=true"}},
        {{u"-Dsun.locale.formatasdefault=true", u"-Dsun.locale.formatasdefault="},
         "en",
         "US",
         {u"-Dsun.locale.formatasdefault=", u"-Duser.language=en", u"-Duser.country=US"}},
        {{u"-Dsun.locale.formatasdefault"}, "de", "CH", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(localeOptionLines(c.arguments, c.language, c.country), c.lines) << show(c.arguments);
}

TEST(VmOptionGrammar, VersionPrefixIsText)
{
    const struct {
        const char* version;
        const char* prefix;
        bool matches;
    } cases[] = {
        {"1.8.0_181", "1.8", true},   {"1.8.0_181", "1.8.0_1", true}, {"1.8.0_181", "", true},
        {"1.8.0_181", "1.8.0_2", false}, {"11.0.2", "1", true},       {"1.8", "1.8.0", false},
        {"17.0.2\" 2022-01-18", "17", true}, {"", "1", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(versionPrefixMatches(c.version, c.prefix), c.matches) << c.version << " / " << c.prefix;
}

TEST(VmOptionGrammar, VmOptionsFileCandidates)
{
    EXPECT_EQ(vmOptionsFileCandidates(u"C:\\app\\run.exe"),
              (Lines{u"C:\\app\\run.vmoptions", u"C:\\app\\run.exe.vmoptions"}));
    EXPECT_EQ(vmOptionsFileCandidates(u"C:\\app\\RUN.EXE"),
              (Lines{u"C:\\app\\RUN.vmoptions", u"C:\\app\\RUN.EXE.vmoptions"}));
    EXPECT_EQ(vmOptionsFileCandidates(u".exe"), (Lines{u".exe.vmoptions"}));
}

TEST(VmOptionGrammar, ParsesPathEntries)
{
    const struct {
        std::string entry;
        bool parsed;
        char type;
        bool required;
        std::string name;
    } cases[] = {
        {"A", false, 0, false, ""},
        {"", false, 0, false, ""},
        {"S1", true, 'S', true, ""},
        {"S0", true, 'S', false, ""},
        {"S0.\\lib", true, 'S', false, ".\\lib"},
        {"D1%SEALDECK_EXEDIR%x", true, 'D', true, "%SEALDECK_EXEDIR%x"},
        {"EyCLASSPATH", true, 'E', false, "CLASSPATH"},
        {"X1name", true, 'X', true, "name"},
    };
    for (const auto& c : cases) {
        const std::optional<PathEntry> entry = parsePathEntry(c.entry);
        ASSERT_EQ(entry.has_value(), c.parsed) << c.entry;
        if (!entry)
            continue;
        EXPECT_EQ(entry->type, c.type) << c.entry;
        EXPECT_EQ(entry->required, c.required) << c.entry;
        EXPECT_EQ(entry->name, c.name) << c.entry;
    }
}

TEST(VmOptionGrammar, EnvironmentEntryText)
{
    const struct {
        std::string value;
        std::string text;
    } cases[] = {
        // A lone quote both begins and ends the value, but has nothing between.
        {"\"", "\";"},
        {"\"\"", ";"},
        {"\"a\"", "a;"},
        {"a\"", "a\";"},
        {"\"a", "\"a;"},
        {"\"C:\\x y\\a.jar;\"", "C:\\x y\\a.jar;"},
        {"a.jar;b.jar", "a.jar;b.jar;"},
        {"a.jar;", "a.jar;"},
        {"", ";"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(environmentPathText(c.value), c.text) << c.value;
}

TEST(VmOptionGrammar, ArchiveNames)
{
    EXPECT_EQ(archiveSearchPattern("C:\\app\\lib", "jar"), "C:\\app\\lib\\*.jar");
    EXPECT_EQ(archiveSearchPattern("C:\\app\\lib\\", "jar"), "C:\\app\\lib\\*.jar");
    EXPECT_EQ(archiveSearchPattern("C:\\app\\lib", ".zip"), "C:\\app\\lib\\*.zip");

    const struct {
        const char* name;
        const char* extension;
        bool matches;
    } cases[] = {
        {"a.jar", "jar", true},     {"A.JAR", "jar", true},      {"x.Jar", ".jar", true},
        {"b.jarold", "jar", false}, {"c.jar_bak", "jar", false}, {"JAROLD~1.JAR", "jar", true},
        {"jar", "jar", false},      {"ajar", "jar", false},      {".jar", "jar", true},
        {"c.zip", "jar", false},    {"c.zip", "zip", true},      {"a.jar.zip", "jar", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hasArchiveExtension(c.name, c.extension), c.matches) << c.name << " / " << c.extension;
}

} // namespace
