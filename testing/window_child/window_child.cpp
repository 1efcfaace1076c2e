// window_child window <title> [--refuse-close]
//     Shows a top-level window of class "SldkWindowChild" with the title, a hidden titled
//     window and a visible owned window without a title, and runs until the main window is
//     closed. With --refuse-close the main window ignores close requests.
// window_child quiet
//     Ends at once with exit code 0.
// window_child wait
//     Runs for two minutes without any window.
// window_child <anything else>
//     Writes its command line (UTF-8) to "<its own path>.ran" and ends with exit code 0, so a test
//     sees which program a command line really started.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

bool g_refuseClose = false;

LRESULT CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        if (!g_refuseClose)
            DestroyWindow(window);
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

int showWindows(const wchar_t* title)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = mainWindowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"SldkWindowChild";
    if (!RegisterClassW(&windowClass))
        return 2;
    HWND main = CreateWindowExW(0, L"SldkWindowChild", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 320, 200,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
    const std::wstring hiddenTitle = std::wstring(title) + L" (hidden)";
    HWND hidden = CreateWindowExW(0, L"STATIC", hiddenTitle.c_str(), WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    HWND owned = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 60, 60, 80, 40, main,
                                 nullptr, windowClass.hInstance, nullptr);
    if (!main || !hidden || !owned)
        return 3;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

int leaveMarker()
{
    wchar_t path[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 4;
    wcscat(path, L".ran");
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 5;
    char commandLine[4096];
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, commandLine, sizeof commandLine, nullptr,
                                          nullptr);
    DWORD written = 0;
    WriteFile(file, commandLine, bytes > 1 ? static_cast<DWORD>(bytes - 1) : 0, &written, nullptr);
    CloseHandle(file);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc >= 3 && wcscmp(argv[1], L"window") == 0) {
        g_refuseClose = argc >= 4 && wcscmp(argv[3], L"--refuse-close") == 0;
        return showWindows(argv[2]);
    }
    if (argc == 2 && wcscmp(argv[1], L"quiet") == 0)
        return 0;
    if (argc == 2 && wcscmp(argv[1], L"wait") == 0) {
        Sleep(120000);
        return 0;
    }
    return leaveMarker();
}
