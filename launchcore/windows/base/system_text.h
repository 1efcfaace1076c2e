// Text from Windows calls that fill a caller's buffer: they answer 0 on failure and, when
// the buffer is too small, the size they need (or a truncated text) while leaving the buffer
// alone. Taking that answer for the text would read bytes the call never wrote, so every
// such call goes through fillGrowing.
#pragma once

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

// The longest text read this way; paths and environment values cannot be longer.
constexpr DWORD kSystemTextLimit = 32768;

// Calls fill(buffer, size) until the answer fits; nullopt when the call fails or the text
// would pass kSystemTextLimit.
template <typename Char, typename Fill>
std::optional<std::basic_string<Char>> fillGrowing(Fill fill, DWORD initialSize = MAX_PATH)
{
    std::vector<Char> buffer(initialSize);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD result = fill(buffer.data(), size);
        if (result == 0)
            return std::nullopt;
        if (result < size)
            return std::basic_string<Char>(buffer.data(), result);
        if (size >= kSystemTextLimit)
            return std::nullopt;
        // A truncating call answers the size it was given, so grow at least twofold.
        buffer.resize(std::min<DWORD>(kSystemTextLimit, std::max<DWORD>(result + 1, size * 2)));
    }
}

// nullopt when the variable is not set; an empty text when it is set to nothing.
std::optional<std::string> environmentVariable(const char* name);
std::optional<std::wstring> environmentVariable(const wchar_t* name);

// The process image's file name as the system reports it; empty on failure.
std::wstring moduleFileName();

// The Windows directory as the system reports it (no trailing backslash unless it is a
// drive root); empty on failure.
std::wstring windowsDirectory();

// GetFullPathName, GetLongPathName and GetShortPathName; empty on failure.
std::wstring fullPathName(const std::wstring& path);
std::string fullPathName(const std::string& path);
std::wstring longPathName(const std::wstring& path);
std::wstring shortPathName(const std::wstring& path);
std::string shortPathName(const std::string& path);
