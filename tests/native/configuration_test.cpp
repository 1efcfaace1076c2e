#include "launchcore/configuration.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <thread>
#include <vector>

#include "launchcore/diagnostics.h"

namespace {

struct LoggedLine {
    bool isError;
    std::string text;
    bool operator==(const LoggedLine&) const = default;
};

std::vector<LoggedLine>& logged()
{
    static std::vector<LoggedLine> lines;
    return lines;
}

void record(bool isError, const std::string& line) { logged().push_back({isError, line}); }

class Configuration : public ::testing::Test {
protected:
    void SetUp() override
    {
        logged().clear();
        setDiagnosticSink(record);
    }
    void TearDown() override
    {
        setDiagnosticSink(nullptr);
        installConfiguration({}, {});
        setLocaleCode("");
    }
};

TEST_F(Configuration, ConfigIntFollowsStrtolAndClampsTo32Bits)
{
    const std::pair<std::string, int32_t> cases[] = {
        {"  42abc", 42},
        {"abc", 0},
        {"", 0},
        {"5", 5},
        {"-17", -17},
        {"+8", 8},
        {"\t\n\v\f\r 7", 7},
        {"12 34", 12},
        {"- 3", 0},
        {"0x10", 0},
        {"007", 7},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"99999999999999999999999999", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"-99999999999999999999999999", INT32_MIN},
        {std::string("4\0" "2", 3), 4},
    };
    std::map<int32_t, std::string> config;
    int32_t id = 1;
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(parseConfigInt(text), expected) << '"' << text << '"';
        config[id++] = text;
    }
    installConfiguration(config, {});
    id = 1;
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(configInt(id++), expected) << '"' << text << '"';
    EXPECT_EQ(configInt(999), 0); // missing
}

TEST_F(Configuration, ConfigIntReadsOnlyTheFirst5999Bytes)
{
    const std::string longValue = std::string(5999, '0') + "7";
    EXPECT_EQ(parseConfigInt(longValue), 0);
    EXPECT_EQ(parseConfigInt(std::string(5998, ' ') + "7"), 7);

    installConfiguration({{151, longValue}}, {});
    EXPECT_EQ(configInt(151), 0);
    EXPECT_EQ(logged(), (std::vector<LoggedLine>{{true, "config string 151 truncated (6000 6000)"}}));
}

TEST_F(Configuration, ConfigStringCutsTerminatesAndLogs)
{
    installConfiguration({{123, "0123456789"}, {124, "abcd"}, {125, ""}}, {});

    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(configString(123, buffer, 5), 4u);
    EXPECT_STREQ(buffer, "0123");
    EXPECT_EQ(buffer[5], 'x'); // nothing written past the buffer
    EXPECT_EQ(logged(), (std::vector<LoggedLine>{{true, "config string 123 truncated (5 10)"}}));

    logged().clear();
    EXPECT_EQ(configString(124, buffer, 5), 4u); // fits exactly
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(configString(125, buffer, 5), 0u);
    EXPECT_STREQ(buffer, "");
    std::strcpy(buffer, "old");
    EXPECT_EQ(configString(777, buffer, sizeof buffer), 0u); // missing
    EXPECT_STREQ(buffer, "");
    EXPECT_TRUE(logged().empty());

    EXPECT_EQ(configString(124, buffer, 1), 0u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(logged(), (std::vector<LoggedLine>{{true, "config string 124 truncated (1 4)"}}));

    // Size 0 writes nothing at all (size - 1 must not wrap around).
    logged().clear();
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(configString(124, buffer, 0), 0u);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(configString(125, nullptr, 0), 0u);
    EXPECT_EQ(logged(), (std::vector<LoggedLine>{{true, "config string 124 truncated (0 4)"}}));
}

TEST_F(Configuration, ValuesAndCopies)
{
    installConfiguration({{101, "MyService"}, {2001, "V"}}, {{1000, u"Error"}, {1003, u"The {0} variable"}});
    EXPECT_EQ(configValue(101), "MyService");
    EXPECT_EQ(configValue(102), "");
    EXPECT_EQ(configStringCopy(101), "MyService");
    EXPECT_EQ(configStringCopy(5), "");
    EXPECT_EQ(messageValue(1000), u"Error");
    EXPECT_EQ(messageValue(1001), u"");

    // Installing again replaces both tables.
    installConfiguration({{102, "x"}}, {});
    EXPECT_EQ(configValue(101), "");
    EXPECT_EQ(configValue(102), "x");
    EXPECT_EQ(messageValue(1000), u"");
}

TEST_F(Configuration, LookupsNeverInsert)
{
    installConfiguration({{101, "a"}}, {{1000, u"b"}});
    // An absent id yields one shared empty value, not a slot of its own.
    EXPECT_EQ(&configValue(5000), &configValue(5001));
    EXPECT_EQ(&messageValue(5000), &messageValue(5001));

    // Concurrent readers of present and absent ids (the tables are read without a lock).
    std::vector<std::thread> readers;
    for (int t = 0; t < 8; ++t) {
        readers.emplace_back([t] {
            for (int i = 0; i < 10000; ++i) {
                const int32_t absent = 6000 + t * 10000 + i;
                if (configValue(101) != "a" || !configValue(absent).empty() || messageValue(1000) != u"b" ||
                    !messageValue(absent).empty() || configInt(absent) != 0)
                    std::abort();
            }
        });
    }
    for (auto& reader : readers)
        reader.join();
    EXPECT_EQ(configValue(101), "a");
    EXPECT_EQ(messageValue(1000), u"b");
}

TEST_F(Configuration, ReplaceFirstPlaceholder)
{
    struct Case {
        std::u16string text;
        std::u16string argument;
        std::u16string expected;
    };
    const Case cases[] = {
        {u"The {0} environment variable does not\npoint to a working JDK or JRE.", u"SEALDECK_JAVA_HOME",
         u"The SEALDECK_JAVA_HOME environment variable does not\npoint to a working JDK or JRE."},
        {u"{0} and {0}", u"X", u"X and {0}"}, // only the first
        {u"Couldn't load main class.", u"X", u"Couldn't load main class."},
        {u"end {0}", u"", u"end "},
        {u"{0", u"X", u"{0"},
        {u"{1} {0}", u"X", u"{1} X"},
        {u"a{0}b", u"{0}", u"a{0}b"}, // the argument is not searched again
        {u"", u"X", u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(replaceFirstPlaceholder(c.text, c.argument), c.expected);
}

TEST_F(Configuration, LocaleCodes)
{
    struct Case {
        const char* code;
        const char* language; // nullptr: not set
        const char* country;
    };
    const Case cases[] = {
        {"de", "de", nullptr},
        {"de_DE", "de", "DE"},
        {"de_CH", "de", "CH"},
        {"de_CH_x", "de", nullptr}, // longer than five: language only
        {"sr_Latn", "sr", nullptr},
        {"de_C", "de", nullptr},
        {"d", nullptr, nullptr},
        {"", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        setLocaleCode("fr_FR"); // a new code replaces both values
        setLocaleCode(c.code);
        char language[3] = {'?', '?', '?'};
        char country[3] = {'?', '?', '?'};
        EXPECT_EQ(languageCode(language), c.language != nullptr) << c.code;
        EXPECT_EQ(countryCode(country), c.country != nullptr) << c.code;
        if (c.language)
            EXPECT_STREQ(language, c.language) << c.code;
        if (c.country)
            EXPECT_STREQ(country, c.country) << c.code;
    }
}

TEST_F(Configuration, ProductKind)
{
    EXPECT_TRUE(isVexonKind('V'));
    for (char letter : {'S', 'v', 's', 'X', '\0', ' '})
        EXPECT_FALSE(isVexonKind(letter)) << int{letter};
}

} // namespace
