// A library planted beside a launcher under a system DLL's name: when anything loads it, it
// leaves "<its file name>.loaded" beside itself, and loads nothing else.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t path[MAX_PATH + 1];
    const DWORD length = GetModuleFileNameW(instance, path, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH)
        return TRUE;
    const std::wstring marker = std::wstring(path, length) + L".loaded";
    const HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return TRUE;
}
