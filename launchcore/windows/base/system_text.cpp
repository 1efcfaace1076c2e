#include "launchcore/windows/base/system_text.h"

namespace {

template <typename Char, typename Get>
std::optional<std::basic_string<Char>> readEnvironment(Get get)
{
    // An existing variable with an empty value also answers 0; only the error tells them apart.
    SetLastError(ERROR_SUCCESS);
    if (auto value = fillGrowing<Char>(get))
        return value;
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        return std::nullopt;
    return std::basic_string<Char>();
}

} // namespace

std::optional<std::string> environmentVariable(const char* name)
{
    return readEnvironment<char>([&](char* buffer, DWORD size) { return GetEnvironmentVariableA(name, buffer, size); });
}

std::optional<std::wstring> environmentVariable(const wchar_t* name)
{
    return readEnvironment<wchar_t>(
        [&](wchar_t* buffer, DWORD size) { return GetEnvironmentVariableW(name, buffer, size); });
}

std::wstring moduleFileName()
{
    return fillGrowing<wchar_t>([](wchar_t* buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); })
        .value_or(std::wstring());
}

std::wstring windowsDirectory()
{
    return fillGrowing<wchar_t>([](wchar_t* buffer, DWORD size) { return GetWindowsDirectoryW(buffer, size); })
        .value_or(std::wstring());
}

std::wstring fullPathName(const std::wstring& path)
{
    return fillGrowing<wchar_t>(
               [&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(path.c_str(), size, buffer, nullptr); })
        .value_or(std::wstring());
}

std::string fullPathName(const std::string& path)
{
    return fillGrowing<char>([&](char* buffer, DWORD size) { return GetFullPathNameA(path.c_str(), size, buffer, nullptr); })
        .value_or(std::string());
}

std::wstring longPathName(const std::wstring& path)
{
    return fillGrowing<wchar_t>([&](wchar_t* buffer, DWORD size) { return GetLongPathNameW(path.c_str(), buffer, size); })
        .value_or(std::wstring());
}

std::wstring shortPathName(const std::wstring& path)
{
    return fillGrowing<wchar_t>([&](wchar_t* buffer, DWORD size) { return GetShortPathNameW(path.c_str(), buffer, size); })
        .value_or(std::wstring());
}

std::string shortPathName(const std::string& path)
{
    return fillGrowing<char>([&](char* buffer, DWORD size) { return GetShortPathNameA(path.c_str(), buffer, size); })
        .value_or(std::string());
}
