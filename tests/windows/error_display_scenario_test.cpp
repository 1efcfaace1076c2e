// Where a fatal error goes once the configuration is known: entry 107 chooses between the
// message box and the console. The damage here sits in the payload, which is read after the
// configuration, so the choice has been made when the error comes.
#include "testing/damaged_launcher.h"
#include "testing/launcher_run.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

std::string withoutCarriageReturns(const std::string& text)
{
    std::string plain;
    for (char c : text) {
        if (c != '\r')
            plain.push_back(c);
    }
    return plain;
}

std::vector<std::wstring> subdirectories(const std::wstring& directory)
{
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return found;
    do {
        const std::wstring name = data.cFileName;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..")
            found.push_back(name);
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return found;
}

} // namespace

TEST(ErrorDisplay, ConsoleModeWritesTheWholeTextAndTheLogPathToStandardError)
{
    const struct {
        const char* kind;
        bool console;
    } cases[] = {{"4", true}, {"", true}, {"2", true}, {"5", false}, {"1", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("application kind \"") + c.kind + "\"");
        ScratchDirectory scratch;
        const std::wstring temp = scratch.subdirectory(L"tmp");
        const std::wstring launcher = launcherWithCutPayload(scratch.path(), c.kind);
        ASSERT_FALSE(launcher.empty());
        const LauncherOutcome outcome = runLauncher(launcher, temp, {L"/run"});
        EXPECT_EQ(outcome.process.exitCode, 1u) << describe(outcome);
        ASSERT_EQ(outcome.logs.size(), 1u) << "an error keeps the log\n" << describe(outcome);
        EXPECT_TRUE(outcome.process.standardOutput.empty()) << describe(outcome);
        if (c.console) {
            // Standard output is a pipe, not a console: the text and a line break go to
            // standard error.
            const std::string expected = "Internal Error: readLong\n\nLog: " + toUtf8(outcome.logs.front()) + "\n";
            EXPECT_EQ(withoutCarriageReturns(outcome.process.standardError), expected) << describe(outcome);
        } else {
            // The message box, which cannot be shown without a display.
            EXPECT_TRUE(outcome.process.standardError.empty()) << describe(outcome);
        }
        // The extraction directory of the failed run is removed again.
        EXPECT_TRUE(subdirectories(temp).empty()) << describe(outcome);
    }
}
