// Fetching the runtime archive over HTTP with the system's client: the attempts, one
// attempt (connect, the status and the length), and the copy into the destination file.
#pragma once

#include <windows.h>

#include <string>

#include "launchcore/windows/base/handles.h"

// Downloads the URL into "jre.tar.gz" in the current directory, in up to three attempts a
// second apart, with progress in the window when there is one. Returns only on success;
// otherwise shows message 20002 (no client) or 20003 and ends the process.
void downloadRuntime(HWND window, const std::wstring& url);

// One attempt; true when the destination holds the whole, checked body. A failed attempt
// leaves no destination file behind.
bool downloadOnce(HWND window, const std::wstring& url, const char* destination);

// Copies length bytes of the open URL into the destination and closes both handles; on
// any failure the partial file is deleted.
bool copyUrlToFile(HWND window, unique_hinternet session, unique_hinternet request, DWORD length,
                   const char* destination);
