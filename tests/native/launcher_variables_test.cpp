#include "launchcore/launcher_variables.h"

#include <gtest/gtest.h>

#include "launchcore/text.h"

namespace {

using Values = LauncherVariableValues<char>;

Values sampleValues(std::vector<std::string> environment = {})
{
    Values values;
    values.launcherDirectory = "C:\\app\\";
    values.extractionDirectory = "C:\\tmp\\vxn1_dir7";
    values.runtimeHome = "C:\\jre\\bin\\..";
    values.temporaryDirectory = [] { return std::string("C:\\temp\\"); };
    values.environment = std::move(environment);
    return values;
}

std::string expanded(std::string text, const Values& values)
{
    expandLauncherVariableText(text, values);
    return text;
}

TEST(LauncherVariables, EveryFixedPatternHasItsValue)
{
    const Values values = sampleValues();
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"%VEXON_EXEDIR%", "C:\\app\\"},
        {"%SEALDECK_EXEDIR%", "C:\\app\\"},
        {"%VEXON_TEMPDIR%", "C:\\tmp\\vxn1_dir7"},
        {"%SEALDECK_TEMPDIR%", "C:\\tmp\\vxn1_dir7"},
        {"%VEXON_PATHLIST_SEPARATOR%", ";"},
        {"%SEALDECK_PATHLIST_SEPARATOR%", ";"},
        {"%VEXON_JVM_HOME%", "C:\\jre\\bin\\.."},
        {"%SEALDECK_JVM_HOME%", "C:\\jre\\bin\\.."},
        {"${VEXON_EXEDIR}", "C:\\app\\"},
        {"${SEALDECK_EXEDIR}", "C:\\app\\"},
        {"${VEXON_TEMPDIR}", "C:\\tmp\\vxn1_dir7"},
        {"${SEALDECK_TEMPDIR}", "C:\\tmp\\vxn1_dir7"},
        {"${VEXON_PATHLIST_SEPARATOR}", ";"},
        {"${SEALDECK_PATHLIST_SEPARATOR}", ";"},
        {"${VEXON_JVM_HOME}", "C:\\jre\\bin\\.."},
        {"${SEALDECK_JVM_HOME}", "C:\\jre\\bin\\.."},
        {"${launcher:sys.launcherDirectory}", "C:\\app\\"},
        {"${launcher:sys.launcherTempDirectory}", "C:\\tmp\\vxn1_dir7"},
        {"${launcher:sys.pathlistSeparator}", ";"},
        {"${launcher:sys.jvmHome}", "C:\\jre\\bin\\.."},
        {"${launcher:sys.tempDir}", "C:\\temp\\"},
        // The value carries its own backslash, so a text that adds one gets two.
        {"%SEALDECK_EXEDIR%\\lib", "C:\\app\\\\lib"},
        {"-cp a%VEXON_PATHLIST_SEPARATOR%b%SEALDECK_PATHLIST_SEPARATOR%c", "-cp a;b;c"},
        {"x%SEALDECK_EXEDIR%y%SEALDECK_EXEDIR%z", "xC:\\app\\yC:\\app\\z"},
        // Unknown names, other cases and broken patterns stay as written.
        {"%SEALDECK_OTHER% ${launcher:sys.other} ${NOT_SET}", "%SEALDECK_OTHER% ${launcher:sys.other} ${NOT_SET}"},
        {"%sealdeck_exedir% ${Launcher:sys.jvmHome}", "%sealdeck_exedir% ${Launcher:sys.jvmHome}"},
        {"%SEALDECK_EXEDIR ${SEALDECK_EXEDIR", "%SEALDECK_EXEDIR ${SEALDECK_EXEDIR"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(expanded(c.text, values), c.expected) << c.text;
}

TEST(LauncherVariables, LaterPatternsSearchEarlierValuesButNeverTheirOwn)
{
    struct Case {
        const char* name;
        Values values;
        const char* text;
        const char* expected;
    };
    Values laterInEarlier = sampleValues();
    laterInEarlier.extractionDirectory = "D:\\x%VEXON_JVM_HOME%";
    Values earlierInLater = sampleValues();
    earlierInLater.runtimeHome = "D:\\%VEXON_EXEDIR%";
    Values ownPattern = sampleValues();
    ownPattern.launcherDirectory = "<%VEXON_EXEDIR%>";
    Values environmentInLauncherValue = sampleValues({"HOME_X=h"});
    environmentInLauncherValue.launcherDirectory = "${HOME_X}\\";

    const Case cases[] = {
        {"pattern 7 searches the value of pattern 3", laterInEarlier, "%VEXON_TEMPDIR%", "D:\\xC:\\jre\\bin\\.."},
        {"pattern 1 does not run again after pattern 7", earlierInLater, "%VEXON_JVM_HOME%", "D:\\%VEXON_EXEDIR%"},
        {"a value holding its own pattern", ownPattern, "%VEXON_EXEDIR%|%VEXON_EXEDIR%",
         "<%VEXON_EXEDIR%>|<%VEXON_EXEDIR%>"},
        {"environment references come after every fixed pattern", environmentInLauncherValue, "${SEALDECK_EXEDIR}",
         "h\\"},
        {"later variables search earlier values", sampleValues({"A=${B}", "B=x"}), "${A}", "x"},
        {"earlier variables do not search later values", sampleValues({"B=x", "A=${B}"}), "${A}", "${B}"},
        {"own reference in a variable's value", sampleValues({"UP=<${UP}>"}), "${UP}", "<${UP}>"},
        {"lower-case name with its upper-case form in the value", sampleValues({"low=[${LOW}]"}), "${low}",
         "[[${LOW}]]"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(expanded(c.text, c.values), c.expected) << c.name;
}

TEST(LauncherVariables, EnvironmentReferences)
{
    const struct {
        std::vector<std::string> environment;
        const char* text;
        const char* expected;
    } cases[] = {
        // The name as written, then upper-cased: "Path" serves ${Path} and ${PATH}, not ${path}.
        {{"Path=C:\\w"}, "${Path}|${PATH}|${path}", "C:\\w|C:\\w|${path}"},
        {{"path=C:\\w"}, "${Path}|${PATH}|${path}", "${Path}|C:\\w|C:\\w"},
        {{"PATH=C:\\w"}, "${Path}|${PATH}|${path}", "${Path}|C:\\w|${path}"},
        // The value starts after the first "=" (a value may hold more of them).
        {{"OPTS=-Da=b"}, "${OPTS}", "-Da=b"},
        {{"EMPTY="}, "[${EMPTY}]", "[]"},
        // Drive-directory entries name "=C:"; an entry without "=" names nothing.
        {{"=C:=C:\\work", "NOEQUALS"}, "${=C:}${NOEQUALS}", "C:\\work${NOEQUALS}"},
        {{"=ONLY"}, "${}${=ONLY}", "${}${=ONLY}"},
        {{"A1=x"}, "$A1 {A1} $(A1) ${A1", "$A1 {A1} $(A1) ${A1"},
        {{}, "${HOME}", "${HOME}"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(expanded(c.text, sampleValues(c.environment)), c.expected) << c.text;
}

TEST(LauncherVariables, LongValuesExpandCompletely)
{
    const std::string big(30000, 'v');
    const std::string result = expanded("a${BIG}b${BIG}c%SEALDECK_EXEDIR%", sampleValues({"BIG=" + big}));
    EXPECT_EQ(result, "a" + big + "b" + big + "cC:\\app\\");

    Values longDirectory = sampleValues();
    longDirectory.launcherDirectory = std::string(7000, 'd') + "\\";
    EXPECT_EQ(expanded("%VEXON_EXEDIR%x", longDirectory).size(), 7002u);
}

TEST(LauncherVariables, ReportsEveryReplacementWithTheTextAfterIt)
{
    struct Report {
        LauncherValue kind;
        std::string pattern, value, text;
        bool operator==(const Report&) const = default;
    };
    std::vector<Report> reports;
    std::string text = "%VEXON_EXEDIR%x%VEXON_EXEDIR% ${launcher:sys.jvmHome} ${Path}";
    expandLauncherVariableText(text, sampleValues({"Path=P"}),
                               [&](LauncherValue kind, std::string_view pattern, std::string_view value,
                                   const std::string& after) {
                                   reports.push_back({kind, std::string(pattern), std::string(value), after});
                               });
    const std::vector<Report> expected = {
        {LauncherValue::LauncherDirectory, "%VEXON_EXEDIR%", "C:\\app\\",
         "C:\\app\\x%VEXON_EXEDIR% ${launcher:sys.jvmHome} ${Path}"},
        {LauncherValue::LauncherDirectory, "%VEXON_EXEDIR%", "C:\\app\\",
         "C:\\app\\xC:\\app\\ ${launcher:sys.jvmHome} ${Path}"},
        {LauncherValue::RuntimeHome, "${launcher:sys.jvmHome}", "C:\\jre\\bin\\..",
         "C:\\app\\xC:\\app\\ C:\\jre\\bin\\.. ${Path}"},
        {LauncherValue::Environment, "${Path}", "P", "C:\\app\\xC:\\app\\ C:\\jre\\bin\\.. P"},
    };
    ASSERT_EQ(reports.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(reports[i] == expected[i]) << i << ": " << reports[i].pattern << " -> " << reports[i].text;
    EXPECT_EQ(text, expected.back().text);
}

TEST(LauncherVariables, TemporaryDirectoryIsAskedOnlyWhenNamed)
{
    int asked = 0;
    Values values = sampleValues();
    values.temporaryDirectory = [&] {
        ++asked;
        return std::string("T\\");
    };
    EXPECT_EQ(expanded("%SEALDECK_EXEDIR% ${SEALDECK_TEMPDIR}", values), "C:\\app\\ C:\\tmp\\vxn1_dir7");
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(expanded("${launcher:sys.tempDir}|${launcher:sys.tempDir}", values), "T\\|T\\");
    EXPECT_EQ(asked, 1);

    values.temporaryDirectory = nullptr;
    EXPECT_EQ(expanded("[${launcher:sys.tempDir}]", values), "[]");
}

TEST(LauncherVariables, Utf16TextAndValues)
{
    LauncherVariableValues<char16_t> values;
    values.launcherDirectory = u"C:\\Прог\\app\\";
    values.extractionDirectory = u"";
    values.runtimeHome = u"C:\\jre";
    values.temporaryDirectory = [] { return std::u16string(u"C:\\Темп\\"); };
    values.environment = {u"straße=s", u"Ünï=u", u"Path=C:\\w"};
    const struct {
        std::u16string text;
        std::u16string expected;
    } cases[] = {
        {u"-Dd=${launcher:sys.launcherDirectory}", u"-Dd=C:\\Прог\\app\\"},
        {u"%SEALDECK_TEMPDIR%\\user", u"\\user"},
        {u"${launcher:sys.tempDir}x ${SEALDECK_JVM_HOME}", u"C:\\Темп\\x C:\\jre"},
        // Upper-casing touches ASCII letters only.
        {u"${straße}${STRAßE}${STRASSE}", u"ss${STRASSE}"},
        {u"${Ünï}${ÜNï}${ünï}", u"uu${ünï}"},
        {u"${Path}${PATH}${path}", u"C:\\wC:\\w${path}"},
    };
    for (const auto& c : cases) {
        std::u16string text = c.text;
        expandLauncherVariableText(text, values);
        EXPECT_EQ(toUtf8(text), toUtf8(c.expected)) << toUtf8(c.text);
    }
}

} // namespace
