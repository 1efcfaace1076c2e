// Message boxes as the user sees them: the error box of a launcher that cannot read itself,
// and the keep-log question. They run with the Xvfb display, where a message box is modal
// and waits for a button.
#include "testing/damaged_launcher.h"
#include "testing/dialog_run.h"

#include <gtest/gtest.h>

// A load error comes before entry 107 can switch the GUI error mode off, so even the
// console launcher shows it in a box. The caption is message 1000 once the message table
// was read, before that configuration entry 1000, else empty.
TEST(ErrorDialog, LoadErrorsShowTheirTextAndTheLogPathAndEndWithExitCodeOne)
{
    const struct {
        const char* name;
        const wchar_t* stub;
        Damage damage;
        std::string configCaption;
        std::wstring caption;
    } cases[] = {
        {"bare stub", kSetupStub, Damage::BareStub, "", L""},
        {"wrong magic", kSetupStub, Damage::WrongMagic, "Broken", L""},
        {"configuration length -1 after entry 1000", kSetupStub, Damage::ConfigLengthMinusOne, "Broken", L"Broken"},
        {"cut inside a locale key", kSetupStub, Damage::CutInsideLocaleKey, "", L"Error"},
        {"odd message length", kSetupStub, Damage::MessageLengthOdd, "", L"Error"},
        {"console launcher, cut inside a locale key", kServiceStub, Damage::CutInsideLocaleKey, "", L"Error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDirectory scratch;
        const std::wstring temp = scratch.subdirectory(L"tmp");
        const std::wstring launcher = damagedLauncher(c.stub, c.damage, scratch.path(), "4", c.configCaption);
        ASSERT_FALSE(launcher.empty());
        const ShownDialog shown = answerDialog(launcher, launcherOptions(temp), temp, IDOK);
        ASSERT_TRUE(shown.shown) << "no message box; exit code " << shown.result.exitCode;
        EXPECT_EQ(shown.result.exitCode, 1u);
        ASSERT_EQ(shown.logs.size(), 1u);
        EXPECT_EQ(toUtf8(shown.contents.caption), toUtf8(c.caption));
        const std::wstring expected = expectedLoadError(c.damage) + L"\n\nLog: " + shown.logs.front();
        EXPECT_EQ(toUtf8(messageBoxText(shown.contents)), toUtf8(expected));
        EXPECT_TRUE(shown.result.standardError.empty()) << shown.result.standardError;
    }
}

// After loading, GUI application kinds show errors in a box captioned with message 1000.
TEST(ErrorDialog, GuiApplicationKindsShowLaterErrorsInABoxCaptionedWithMessage1000)
{
    for (const char* kind : {"5", "1"}) {
        SCOPED_TRACE(std::string("application kind ") + kind);
        ScratchDirectory scratch;
        const std::wstring temp = scratch.subdirectory(L"tmp");
        const std::wstring launcher = launcherWithCutPayload(scratch.path(), kind);
        ASSERT_FALSE(launcher.empty());
        const ShownDialog shown = answerDialog(launcher, launcherOptions(temp, {L"/run"}), temp, IDOK);
        ASSERT_TRUE(shown.shown) << "no message box; exit code " << shown.result.exitCode;
        EXPECT_EQ(shown.result.exitCode, 1u);
        ASSERT_EQ(shown.logs.size(), 1u);
        EXPECT_EQ(toUtf8(shown.contents.caption), "Error");
        const std::wstring expected = L"Internal Error: readLong\n\nLog: " + shown.logs.front();
        EXPECT_EQ(toUtf8(messageBoxText(shown.contents)), toUtf8(expected));
        EXPECT_EQ(shown.contents.buttons.size(), 1u) << buttonList(shown.contents);
        EXPECT_TRUE(shown.result.standardError.empty()) << shown.result.standardError;
    }
}

TEST(KeepLogDialog, AsksWithTheProductWordAndKeepsTheLog)
{
    const struct {
        const wchar_t* stub;
        const char* kind;
        const char* word;
    } cases[] = {{kSetupStub, "S", "sealdeck"}, {kSetupStub, "V", "vexon"}, {kSetupStub, "", "sealdeck"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(toUtf8(c.stub) + " kind " + c.kind);
        ScratchDirectory scratch;
        const std::wstring temp = scratch.subdirectory(L"tmp");
        sldkpack::LauncherModel model = basicModel("4");
        sldkpack::setConfig(model, 2001, c.kind);
        const std::wstring launcher = buildLauncherFile(c.stub, model, scratch.path(), L"keeplog.exe");
        ASSERT_FALSE(launcher.empty());
        // Quiet and without a runtime, the installer ends with 83 after the question.
        const ShownDialog shown =
            answerDialog(launcher, launcherOptions(temp, {L"-create-sldk-log", L"-q"}), temp, IDNO);
        ASSERT_TRUE(shown.shown) << "no question; exit code " << shown.result.exitCode;
        EXPECT_EQ(shown.result.exitCode, 83u);
        ASSERT_EQ(shown.logs.size(), 1u) << "the log is kept after the question";
        EXPECT_EQ(toUtf8(shown.contents.caption), c.word);
        const std::wstring expected = L"The following log file will be created:\n\n" + shown.logs.front() +
                                      L"\n\nDo you want to open an Explorer window?";
        EXPECT_EQ(toUtf8(messageBoxText(shown.contents)), toUtf8(expected));
        EXPECT_EQ(shown.contents.buttons.size(), 2u) << buttonList(shown.contents);
        const auto log = readLog(shown.logs.front());
        ASSERT_TRUE(log);
        // The question comes after the working directory is set.
        EXPECT_TRUE(hasLogLine(log->text, "working directory unchanged")) << log->text;
        EXPECT_FALSE(hasLogLineStartingWith(log->text, "calling ")) << log->text;
    }
}

TEST(KeepLogDialog, YesOpensAnExplorerWindowOnTheLog)
{
    ScratchDirectory scratch;
    const std::wstring temp = scratch.subdirectory(L"tmp");
    const std::wstring launcher = buildLauncherFile(kSetupStub, basicModel("5"), scratch.path(), L"keeplog.exe");
    ASSERT_FALSE(launcher.empty());
    const ShownDialog shown = answerDialog(launcher, launcherOptions(temp, {L"-create-sldk-log", L"-q"}), temp, IDYES);
    ASSERT_TRUE(shown.shown);
    EXPECT_EQ(shown.result.exitCode, 83u);
    ASSERT_EQ(shown.logs.size(), 1u);
    const auto log = readLog(shown.logs.front());
    ASSERT_TRUE(log);
    // Both paths quoted: a Windows folder or short name with a space must not split the
    // command into a different program.
    wchar_t windows[MAX_PATH + 1];
    const UINT windowsLength = GetWindowsDirectoryW(windows, MAX_PATH + 1);
    ASSERT_TRUE(windowsLength > 0 && windowsLength <= MAX_PATH);
    wchar_t shortLog[MAX_PATH + 1];
    const DWORD shortLength = GetShortPathNameW(shown.logs.front().c_str(), shortLog, MAX_PATH + 1);
    ASSERT_TRUE(shortLength > 0 && shortLength <= MAX_PATH);
    const std::wstring command = L"\"" + std::wstring(windows, windowsLength) + L"\\explorer.exe\" /select,\"" +
                                 std::wstring(shortLog, shortLength) + L"\"";
    EXPECT_TRUE(hasLogLine(log->text, "calling " + toUtf8(command))) << log->text;
    EXPECT_FALSE(hasLogLineStartingWith(log->text, "could not open explorer window")) << log->text;
}
