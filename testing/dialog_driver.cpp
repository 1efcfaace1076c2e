#include "testing/dialog_driver.h"

#include <algorithm>
#include <cwctype>

namespace {

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK collectWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId)
        search->found.push_back(window);
    return TRUE;
}

BOOL CALLBACK collectChild(HWND window, LPARAM parameter)
{
    reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
    return TRUE;
}

std::wstring withoutMnemonics(const std::wstring& text)
{
    std::wstring plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size())
            ++i;
        plain.push_back(static_cast<wchar_t>(std::towlower(text[i])));
    }
    return plain;
}

std::wstring lowered(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

} // namespace

bool useDesktop(const std::wstring& name)
{
    HDESK desktop = CreateDesktopW(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    if (!desktop)
        return false;
    // The handle stays open for the life of the thread: closing it could end the desktop.
    return SetThreadDesktop(desktop) != 0;
}

std::vector<HWND> topLevelWindows(DWORD processId)
{
    WindowSearch search{processId, {}};
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND waitForDialog(DWORD processId, DWORD timeoutMs, HANDLE process)
{
    return waitForWindowOfClass(processId, L"#32770", timeoutMs, process);
}

HWND waitForWindowOfClass(DWORD processId, const std::wstring& className, DWORD timeoutMs, HANDLE process)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        for (HWND window : topLevelWindows(processId)) {
            if (IsWindowVisible(window) && lstrcmpiW(windowClassName(window).c_str(), className.c_str()) == 0)
                return window;
        }
        if (process && WaitForSingleObject(process, 0) == WAIT_OBJECT_0)
            return nullptr;
        if (GetTickCount64() >= deadline)
            return nullptr;
        Sleep(20);
    }
}

std::wstring windowText(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length))
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 2000, &copied))
        return {};
    text.resize(std::min<size_t>(static_cast<size_t>(copied), text.size() - 1));
    return text;
}

std::wstring windowClassName(HWND window)
{
    // Class names are limited to 256 characters.
    wchar_t name[257];
    const int length = GetClassNameW(window, name, 257);
    return length > 0 ? std::wstring(name, static_cast<size_t>(length)) : std::wstring();
}

DialogContents readDialog(HWND dialog)
{
    DialogContents contents;
    contents.caption = windowText(dialog);
    std::vector<HWND> children;
    EnumChildWindows(dialog, collectChild, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
        const std::wstring kind = lowered(windowClassName(child));
        if (kind == L"static") {
            std::wstring text = windowText(child);
            if (!text.empty())
                contents.staticTexts.push_back(std::move(text));
        } else if (kind == L"button") {
            contents.buttons.push_back({GetDlgCtrlID(child), windowText(child), child});
        }
    }
    return contents;
}

std::wstring messageBoxText(const DialogContents& contents)
{
    std::wstring text;
    for (const auto& part : contents.staticTexts) {
        if (!text.empty())
            text += L"\n";
        text += part;
    }
    return text;
}

bool pressButton(HWND dialog, int buttonId)
{
    HWND button = GetDlgItem(dialog, buttonId);
    if (!button)
        return false;
    // Posted, not sent: the dialog's owner thread may end the process in response, and a
    // sent message would then wait for an answer that never comes.
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(button)) != 0;
}

bool pressButton(HWND dialog, const std::wstring& buttonText)
{
    const std::wstring wanted = withoutMnemonics(buttonText);
    for (const auto& button : readDialog(dialog).buttons) {
        if (withoutMnemonics(button.text) == wanted)
            return pressButton(dialog, button.id);
    }
    return false;
}

bool saveWindowPicture(HWND window, const std::wstring& bmpPath)
{
    RECT frame{};
    if (!GetWindowRect(window, &frame))
        return false;
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    if (width <= 0 || height <= 0)
        return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (picture && bits) {
        HGDIOBJ previous = SelectObject(memory, picture);
        BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
        SelectObject(memory, previous);
        const DWORD stride = ((width * 3 + 3) / 4) * 4;
        const DWORD imageSize = stride * height;
        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof file + sizeof info.bmiHeader;
        file.bfSize = file.bfOffBits + imageSize;
        HANDLE out = CreateFileW(bmpPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            saved = WriteFile(out, &file, sizeof file, &written, nullptr) &&
                    WriteFile(out, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
                    WriteFile(out, bits, imageSize, &written, nullptr) && written == imageSize;
            CloseHandle(out);
        }
    }
    if (picture)
        DeleteObject(picture);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}
