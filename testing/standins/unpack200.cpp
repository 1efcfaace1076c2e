// Stand-in for a runtime's unpack200.exe, for the tests of jar restoration.
//   unpack200 [-r] PACK JAR
// Appends its command line (UTF-8, one line) to the file named by SLDK_UNPACK200_LOG. With
// SLDK_UNPACK200_EXIT unset or 0 it copies PACK to JAR and, with "-r", deletes PACK. With a
// non-zero SLDK_UNPACK200_EXIT it leaves a partial JAR and exits with that code.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::wstring environmentValue(const wchar_t* name)
{
    std::vector<wchar_t> buffer(256);
    for (;;) {
        const DWORD length = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        buffer.resize(length + 1);
    }
}

std::string toUtf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr,
                        nullptr);
    return bytes;
}

bool writeAll(HANDLE file, const char* data, size_t size)
{
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

void recordCommandLine()
{
    const std::wstring log = environmentValue(L"SLDK_UNPACK200_LOG");
    if (log.empty())
        return;
    // Append access keeps concurrent runs from overwriting each other's lines.
    HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::string line = toUtf8(GetCommandLineW()) + "\n";
    writeAll(file, line.data(), line.size());
    CloseHandle(file);
}

bool writeFile(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = writeAll(file, bytes.data(), bytes.size());
    CloseHandle(file);
    return ok;
}

bool readFile(const std::wstring& path, std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr) != FALSE) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return ok;
}

} // namespace

int main()
{
    recordCommandLine();

    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv || count < 3) {
        fputs("usage: unpack200 [-r] PACK JAR\n", stderr);
        return 2;
    }
    std::vector<std::wstring> arguments(argv, argv + count);
    LocalFree(argv);

    const bool removePack = arguments[1] == L"-r";
    const std::wstring& pack = arguments[count - 2];
    const std::wstring& jar = arguments[count - 1];

    const int exitCode = std::atoi(toUtf8(environmentValue(L"SLDK_UNPACK200_EXIT")).c_str());
    if (exitCode != 0) {
        // What a tool that dies half-way leaves behind.
        writeFile(jar, "PK\x03");
        return exitCode;
    }

    std::string bytes;
    if (!readFile(pack, bytes)) {
        fputs("unpack200: cannot read the pack\n", stderr);
        return 4;
    }
    if (!writeFile(jar, bytes)) {
        fputs("unpack200: cannot write the jar\n", stderr);
        return 5;
    }
    if (removePack)
        DeleteFileW(pack.c_str());
    return 0;
}
