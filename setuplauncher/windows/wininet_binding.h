// The system's HTTP client, bound at run time from wininet.dll in the system directory: the
// launchers import only libraries Windows always takes from there.
#pragma once

#include <windows.h>

struct WininetFunctions {
    void*(WINAPI* openUrl)(void* session, const wchar_t* url, const wchar_t* headers, DWORD headersLength,
                           DWORD flags, DWORD_PTR context);
    void*(WINAPI* open)(const wchar_t* agent, DWORD accessType, const wchar_t* proxy, const wchar_t* bypass,
                        DWORD flags);
    BOOL(WINAPI* queryInfo)(void* request, DWORD level, void* buffer, DWORD* length, DWORD* index);
    DWORD(WINAPI* attemptConnect)(DWORD reserved);
    BOOL(WINAPI* closeHandle)(void* handle);
    BOOL(WINAPI* readFile)(void* request, void* buffer, DWORD wanted, DWORD* got);
    // Optional: a stalled server is cut off by the receive timeout where it can be set.
    BOOL(WINAPI* setOption)(void* handle, DWORD option, void* buffer, DWORD length);
};

// Binds the six functions once for the process; false (and logged) when the library or
// one of them is missing.
bool bindWininet();

// The bound functions; only after bindWininet returned true.
const WininetFunctions& wininet();
