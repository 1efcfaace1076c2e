// The deferred deletion's reboot paths, in this process with the restart call replaced by a
// recorder: no test ever restarts the machine it runs on.
#include "launchcore/windows/system_reboot.h"
#include "setuplauncher/windows/deferred_deletion.h"
#include "testing/deletion_run.h"
#include "testing/launcher_builder.h"

#include <gtest/gtest.h>

namespace {

struct RestartRecord {
    int calls = 0;
    UINT flags = 0;
    DWORD reason = 0;
    BOOL answer = TRUE;
};
RestartRecord g_restart;

BOOL WINAPI recordRestart(UINT flags, DWORD reason)
{
    ++g_restart.calls;
    g_restart.flags = flags;
    g_restart.reason = reason;
    return g_restart.answer;
}

class DeferredDeletion : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_restart = RestartRecord{};
        previous_ = replaceRestartCall(&recordRestart);
        GetCurrentDirectoryW(MAX_PATH, directory_);
    }
    void TearDown() override
    {
        replaceRestartCall(previous_);
        // The run makes the executable's folder current.
        SetCurrentDirectoryW(directory_);
    }

private:
    RestartCall previous_ = nullptr;
    wchar_t directory_[MAX_PATH] = L"";
};

} // namespace

// "force_reboot" restarts even when nothing was left over, after the list is gone; a
// refused restart without a warning text shows nothing.
TEST_F(DeferredDeletion, ForceRebootRestartsEvenWhenEverythingWasDeleted)
{
    for (const BOOL answer : {TRUE, FALSE}) {
        SCOPED_TRACE(answer ? "restart accepted" : "restart refused");
        g_restart = RestartRecord{};
        g_restart.answer = answer;
        ScratchDirectory scratch;
        const std::wstring file = scratch.file(L"a.txt");
        ASSERT_TRUE(writeFileBytes(file, {'x'}));
        const std::wstring list = scratch.file(L"list.txt");
        ASSERT_TRUE(writeDeletionList(list, deletionListLines(L"force_reboot", L"short", {file}, {}, L"tiny")));

        EXPECT_EQ(runDeferredDeletion(list), 0);
        EXPECT_EQ(g_restart.calls, 1);
        EXPECT_EQ(g_restart.flags, static_cast<UINT>(EWX_REBOOT));
        EXPECT_EQ(g_restart.reason, 0u);
        EXPECT_FALSE(fileExists(file));
        EXPECT_FALSE(fileExists(list));
    }
}

// Other modes never restart; a missing list is an empty one.
TEST_F(DeferredDeletion, OtherModesAndMissingListsNeverRestart)
{
    ScratchDirectory scratch;
    const std::wstring file = scratch.file(L"a.txt");
    ASSERT_TRUE(writeFileBytes(file, {'x'}));
    const std::wstring list = scratch.file(L"list.txt");
    ASSERT_TRUE(writeDeletionList(list, deletionListLines(L"reboot_deletion", L"Restart the computer now?", {file}, {})));
    EXPECT_EQ(runDeferredDeletion(list), 0);
    EXPECT_EQ(runDeferredDeletion(scratch.file(L"no such list.txt")), 0);
    EXPECT_EQ(g_restart.calls, 0);
    EXPECT_FALSE(fileExists(file));
}
