#include "testing/dialog_run.h"

#include <gtest/gtest.h>

#include <cwctype>

const std::wstring& dialogDesktop()
{
    static const std::wstring name = [] {
        wchar_t display[64] = L"";
        GetEnvironmentVariableW(L"DISPLAY", display, 64);
        std::wstring desktop = L"sldk-dialogs";
        for (const wchar_t* p = display; *p; ++p)
            desktop.push_back(iswalnum(*p) ? *p : L'-');
        EXPECT_TRUE(useDesktop(desktop)) << "cannot switch to the desktop " << toUtf8(desktop);
        return desktop;
    }();
    return name;
}

ShownDialog answerDialog(const std::wstring& launcher, ProcessOptions options, const std::wstring& temp, int button,
                         DWORD dialogTimeoutMs)
{
    ShownDialog shown;
    options.desktop = dialogDesktop();
    RunningProcess process = startProcess(launcher, options);
    EXPECT_TRUE(process.started()) << process.startError();
    if (!process.started())
        return shown;
    HWND dialog = waitForDialog(process.processId(), dialogTimeoutMs, process.processHandle());
    if (dialog) {
        shown.shown = true;
        // A dialog can be visible a moment before its texts are set; every dialog read here
        // has a text.
        shown.contents = readDialog(dialog);
        for (int i = 0; i < 100 && shown.contents.staticTexts.empty(); ++i) {
            Sleep(20);
            shown.contents = readDialog(dialog);
        }
        EXPECT_TRUE(pressButton(dialog, button)) << "no button " << button;
    }
    shown.result = process.wait(options.timeoutMs);
    EXPECT_FALSE(shown.result.timedOut);
    shown.logs = listLogs(temp);
    return shown;
}

std::string buttonList(const DialogContents& contents)
{
    std::string list;
    for (const auto& b : contents.buttons) {
        list.append(" ").append(std::to_string(b.id));
        list.append(":").append(toUtf8(b.text));
    }
    return list;
}
