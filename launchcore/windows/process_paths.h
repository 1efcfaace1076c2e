// The launcher's own paths and the path helpers built on them. Caches are filled on first
// use (on the main thread during start-up) and fixed afterwards.
#pragma once

#include <windows.h>

#include <string>

// GetModuleFileNameW, then its long form, backslashes collapsed.
const std::wstring& moduleLongPath();
// The 8-bit form of the module path: the exact conversion, else a short form that converts
// exactly, else the command processor's short name, else GetModuleFileNameA's short form.
const std::string& moduleAnsiPath();

// Whether the command processor's answer for the module's short name can stand for it: an
// ".exe" that exists and has no "?" from characters the console code page lacks.
bool usableShellShortName(const std::string& name);

// The launcher directory with its trailing backslash: 8-bit, the 8-bit form widened, UTF-16.
const std::string& launcherDirectoryAnsi();
const std::wstring& launcherDirectoryWidened();
const std::wstring& launcherDirectoryWide();

// A relative path is put behind the directory of baseFile or, without one, behind the
// launcher directory (the widened 8-bit form when asked); absolute paths stay. Backslashes
// collapsed.
std::wstring resolvePath(const std::wstring& path, bool useWidenedDirectory, const wchar_t* baseFile = nullptr);
std::string resolvePath(const std::string& path, const char* baseFile = nullptr);

// resolvePath, GetFullPathName, lower-cased (A to Z only) unless keepCase.
std::wstring fullPath(const std::wstring& path, bool useWidenedDirectory, bool keepCase);
std::string fullPath(const std::string& path, bool keepCase);

// Drive roots exist; a name with "*" or "?" never does; otherwise FindFirstFile finds it
// (one trailing backslash ignored). The variant also returns the last-write time.
bool pathExists(const std::wstring& path);
bool pathExists(const std::string& path);
bool pathExists(const std::string& path, FILETIME& lastWrite);
