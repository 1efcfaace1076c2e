// Messages follow the user's display language: the locale blocks whose key is a prefix of
// the detected locale override the English texts, the last matching block winning.
#include "testing/launcher_run.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A service launcher (errors on standard error) whose payload list names a file outside the
// extraction directory, so "/run" stops with message 1009 and the code "16".
std::wstring launcherWithTranslations(const ScratchDirectory& scratch)
{
    sldkpack::LauncherModel model = basicModel("4");
    model.files.push_back(sldkpack::IncludedFile{"..\\escape.txt", {'x'}});
    model.localeBlocks.push_back({"de", {{1009, u"Interner Fehler ({0})"}, {1000, u"Fehler"}}});
    model.localeBlocks.push_back({"fr", {{1009, u"Erreur interne ({0})"}}});
    model.localeBlocks.push_back({"de_CH", {{1009, u"Fehler in der Schweiz ({0})"}}});
    model.localeBlocks.push_back({"", {{1007, u"every locale"}}});
    return buildLauncherFile(kServiceStub, model, scratch.path(), L"service.exe");
}

std::string firstLine(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

} // namespace

// Wine takes a process's locale, and with it the display language, from the Unix locale of
// the Wine process; children inherit it. So each locale is its own CTest entry that runs
// this test with that locale and names it in SLDK_EXPECTED_LOCALE.
TEST(LocaleScenario, MatchingBlocksOverrideMessagesForTheDisplayLanguage)
{
    wchar_t expected[32] = {};
    if (GetEnvironmentVariableW(L"SLDK_EXPECTED_LOCALE", expected, 32) == 0)
        GTEST_SKIP() << "runs in the per-locale test entries (win.locale.*)";

    struct Case {
        const wchar_t* locale;
        const char* shownFirstLine;
    };
    const Case cases[] = {
        {L"de_CH", "Fehler in der Schweiz (16)"},
        {L"de_AT", "Interner Fehler (16)"},
        {L"fr_FR", "Erreur interne (16)"},
        {L"ja_JP", "An internal error occurred (error code: 16)"},
    };
    const Case* match = nullptr;
    for (const Case& c : cases)
        if (std::wstring(c.locale) == expected)
            match = &c;
    ASSERT_NE(match, nullptr) << "no expectation for " << toUtf8(expected);

    ScratchDirectory scratch;
    const std::wstring launcher = launcherWithTranslations(scratch);
    const std::wstring temp = scratch.subdirectory(L"temp");
    const LauncherOutcome outcome = runLauncher(launcher, temp, {L"/run"}, {{L"SEALDECK_LOG", L"yes"}});
    EXPECT_EQ(outcome.process.exitCode, 1u) << describe(outcome);
    EXPECT_EQ(firstLine(outcome.process.standardError), match->shownFirstLine) << describe(outcome);
    const std::string log = singleLogText(outcome);
    EXPECT_TRUE(hasLogLine(log, "language/country is " + toUtf8(expected))) << log;
}
