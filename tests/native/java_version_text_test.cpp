#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "launchcore/java_version_text.h"

namespace {

TEST(JavaVersionText, TakesTheVersionLineAfterBanners)
{
    const struct {
        const char* name;
        std::string output;
        std::optional<std::string> version;
    } cases[] = {
        {"classic", "java version \"1.8.0_181\"\n", "1.8.0_181"},
        {"crlf", "java version \"1.8.0_181\"\r\nJava(TM) SE Runtime Environment\r\n", "1.8.0_181"},
        {"date after the quote", "openjdk version \"11.0.2\" 2019-01-15\n", "11.0.2\" 2019-01-1"},
        {"date, crlf", "openjdk version \"17.0.2\" 2022-01-18 LTS\r\nOpenJDK Runtime\r\n", "17.0.2\" 2022-01-18 LT"},
        {"banner first", "Picked up _JAVA_OPTIONS: -Xmx1g\nopenjdk version \"11.0.2\" 2019-01-15\n",
         "11.0.2\" 2019-01-1"},
        {"two banners", "Picked up JAVA_TOOL_OPTIONS: -Da=b\r\nPicked up _JAVA_OPTIONS: -Xmx1g\r\n"
                        "java version \"9\"\r\n",
         "9"},
        // Without its line feed the last line loses its last character and the quote stays.
        {"no final line feed", "java version \"1.8.0_181\"", "1.8.0_18"},
        {"too short", "java version \"\n", std::nullopt},
        {"empty version", "java version \"\"\n", std::nullopt},
        {"one character", "java version \"9\n", std::nullopt},
        {"no quote", "java version 1.8.0\n", std::nullopt},
        {"other vendor", "IBM J9 VM (build 2.9)\n", std::nullopt},
        {"prefix not at line start", " java version \"1.8.0_181\"\n", std::nullopt},
        {"empty output", "", std::nullopt},
        {"error text", "Error: could not find java.dll\n", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(versionFromJavaOutput(c.output), c.version) << c.name;
}

TEST(JavaVersionText, LooksAtTheFirstTwentyLinesOnly)
{
    std::string output;
    for (int i = 0; i < 19; ++i)
        output += "Picked up banner " + std::to_string(i) + "\n";
    EXPECT_EQ(versionFromJavaOutput(output + "java version \"1.8.0_181\"\n"), "1.8.0_181");
    EXPECT_EQ(versionFromJavaOutput(output + "another banner\njava version \"1.8.0_181\"\n"), std::nullopt);
}

TEST(JavaVersionText, CutsTheVersionLineLikeA99CharacterLineBuffer)
{
    const std::string line = "java version \"" + std::string(100, '1') + "\"\n";
    // 99 characters in all: 14 of prefix and 85 of digits; two of them are dropped.
    EXPECT_EQ(versionFromJavaOutput(line), std::string(83, '1'));
}

TEST(JavaVersionText, PreReleaseMarkersMatchAnywhereCaseSensitive)
{
    const struct {
        const char* version;
        bool preRelease;
    } cases[] = {
        {"11-ea", true},      {"11-beta", true},   {"9-rc1", true},   {"1.8.0_181-team", true},
        {"1.8.0-crc", true},  {"1.8.0_181", false}, {"11-EA", false}, {"11-Beta", false},
        {"17.0.2", false},    {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isPreReleaseVersion(c.version), c.preRelease) << c.version;
}

TEST(JavaVersionText, CachedVersionsThatDoNotCount)
{
    for (const char* ignored : {"1.0.0", "1.7.", "1.6.", "1.5."})
        EXPECT_FALSE(isUsableCachedVersion(ignored)) << ignored;
    for (const char* used : {"1.7.0_80", "1.0.0_1", "1.8.0_181", "", "1.7"})
        EXPECT_TRUE(isUsableCachedVersion(used)) << used;
}

TEST(JavaVersionText, ExecutableNameRules)
{
    const struct {
        const char* exe;
        const char* bin;
        const char* windowed;
    } cases[] = {
        {"c:\\rt\\bin\\java.exe", "c:\\rt\\bin", "c:\\rt\\bin\\javaw.exe"},
        {"c:\\rt\\bin\\javaw.exe", "c:\\rt\\bin", "c:\\rt\\bin\\javaw.exe"},
        {"C:\\RT\\BIN\\JAVA.EXE", "C:\\RT\\BIN", "C:\\RT\\BIN\\JAVAw.exe"},
        {"c:\\rt\\bin\\j.exe", "c:\\rt\\bin", "c:\\rt\\bin\\j.exe"},
        {"c:\\a.exe", "c:", "c:\\a.exe"},
        {"c:\\x\\myjava.exe", "c:\\x", "c:\\x\\myjava.exe"},
        {"java.exe", "", "javaw.exe"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(binDirectoryOf(c.exe), c.bin) << c.exe;
        EXPECT_EQ(windowedJavaExe(c.exe), c.windowed) << c.exe;
    }
}

TEST(JavaVersionText, FallbackAbsoluteRule)
{
    const struct {
        const char* text;
        bool absolute;
    } cases[] = {
        {"c:\\rt", true}, {"c:", true},     {"x:rel", true},  {"\\\\server\\share", true},
        {"\\\\", true},   {".\\jre", false}, {"jre", false},  {"\\jre", false},
        {"c", false},     {"", false},      {"/x", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isFallbackAbsolutePath(c.text), c.absolute) << c.text;
}

TEST(JavaVersionText, SplitsTheSearchSequence)
{
    const auto entries = splitSearchSequence("B.\\jre;;Y;EJAVA_HOME;EJDK_HOME;S;A;");
    const std::vector<std::pair<char, std::string>> expected = {
        {'B', ".\\jre"}, {'Y', ""}, {'E', "JAVA_HOME"}, {'E', "JDK_HOME"}, {'S', ""}, {'A', ""}};
    ASSERT_EQ(entries.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(entries[i].letter, expected[i].first) << i;
        EXPECT_EQ(entries[i].text, expected[i].second) << i;
    }
    EXPECT_TRUE(splitSearchSequence("").empty());
    EXPECT_TRUE(splitSearchSequence(";;;").empty());
}

TEST(JavaVersionText, RegistryNamesAndCommandLine)
{
    EXPECT_EQ(versionCacheKey("c:\\program files\\rt\\bin\\java.exe"),
              "SOFTWARE\\brenmark\\vexon\\jvms\\c:/program files/rt/bin/java.exe");
    EXPECT_EQ(locatedJvmKey("c:\\sldk_jres\\bin\\java.exe"),
              "SOFTWARE\\brenmark\\vexon\\locatedjvms\\c:/sldk_jres/bin/java.exe");
    EXPECT_EQ(locatedJvmPath("c:/sldk_jres/bin/java.exe"), "c:\\sldk_jres\\bin\\java.exe");
    EXPECT_EQ(versionQueryCommand("c:\\program files\\rt\\bin\\java.exe"),
              "\"c:\\program files\\rt\\bin\\java.exe\" -version");
    EXPECT_EQ(versionQueryCommand("c:\\progra~1\\rt\\bin\\java.exe"), "\"c:\\progra~1\\rt\\bin\\java.exe\" -version");
}

TEST(JavaVersionText, RegistryKeysAreTriedInDescendingByteOrder)
{
    EXPECT_EQ(registryTrialOrder({"1.8.0_181", "1.8.0_20", "9", "10", "17.0.2", "1.8"}),
              (std::vector<std::string>{"9", "17.0.2", "10", "1.8.0_20", "1.8.0_181", "1.8"}));
    EXPECT_TRUE(registryTrialOrder({}).empty());
}

TEST(JavaVersionText, FirstLineOfALocationFile)
{
    const struct {
        std::string bytes;
        size_t limit;
        const char* line;
    } cases[] = {
        {"c:\\rt\r\nsecond\r\n", 6000, "c:\\rt"},
        {"c:\\rt\n", 6000, "c:\\rt"},
        {"c:\\rt", 6000, "c:\\rt"},
        {"c:\\rt\r\r\n", 6000, "c:\\rt"},
        {"\r\nc:\\rt", 6000, ""},
        {"", 6000, ""},
        {"abcdef", 4, "abc"},
        {"abc", 0, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(firstLineOf(c.bytes, c.limit), c.line) << c.bytes;
}

} // namespace
