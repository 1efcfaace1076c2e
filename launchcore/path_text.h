// Text rules for Windows paths that need no file system. Each rule exists for 8-bit and
// UTF-16 text.
#pragma once

#include <string>
#include <string_view>

// Absolute: characters 2 and 3 (after one optional leading double quote) are ":\" or ":/",
// or the path begins with "\\". Everything else is relative, including "C:", "\x" and
// paths shorter than three characters.
bool isRelativePath(std::string_view path);
bool isRelativePath(std::u16string_view path);

// Every run of backslashes becomes one, except that a leading pair stays ("\\\x" gives "\\x").
std::string collapseBackslashes(std::string_view path);
std::u16string collapseBackslashes(std::u16string_view path);

// At least five characters ending in ".exe", ignoring case.
bool endsWithExe(std::string_view path);
bool endsWithExe(std::u16string_view path);

// "X:\", "X:\." and "X:\.\." name a drive root (compared from character 2 on).
bool isDriveRootPath(std::string_view path);
bool isDriveRootPath(std::u16string_view path);

// "*" or "?" in a path: no file can have that name.
bool hasWildcard(std::string_view path);
bool hasWildcard(std::u16string_view path);

// Removes one trailing backslash, except from a drive root "X:\".
std::string withoutTrailingBackslash(std::string_view path);
std::u16string withoutTrailingBackslash(std::u16string_view path);

// Everything up to and including the last backslash or slash; empty when there is none.
std::string directoryPart(std::string_view path);
std::u16string directoryPart(std::u16string_view path);

// Adds a backslash unless the text is empty or already ends in "\" or "/".
std::string withTrailingSeparator(std::string_view path);
std::u16string withTrailingSeparator(std::u16string_view path);
