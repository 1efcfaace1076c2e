#include "testing/runtime_tarball.h"

#include "launchcore/crc32.h"
#include "testing/test_files.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

void octal(char* field, size_t width, unsigned long long value)
{
    std::snprintf(field, width, "%0*llo", static_cast<int>(width - 1), value);
}

std::string tarHeader(const std::string& name, size_t size, bool directory)
{
    char header[512] = {};
    std::memcpy(header, name.data(), std::min<size_t>(name.size(), 99));
    octal(header + 100, 8, directory ? 0755 : 0644);
    octal(header + 108, 8, 0);
    octal(header + 116, 8, 0);
    octal(header + 124, 12, directory ? 0 : size);
    octal(header + 136, 12, 1700000000);
    header[156] = directory ? '5' : '0';
    std::memcpy(header + 257, "ustar", 6);
    std::memcpy(header + 263, "00", 2);
    std::memset(header + 148, ' ', 8);
    unsigned sum = 0;
    for (unsigned char c : header)
        sum += c;
    std::snprintf(header + 148, 8, "%06o", sum);
    return std::string(header, sizeof header);
}

void putU32(std::string& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>(value >> shift));
}

void collect(const std::wstring& directory, const std::string& prefix,
             std::vector<std::pair<std::string, std::string>>& members)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        std::string narrow(name.begin(), name.end());
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            members.emplace_back(prefix + narrow + "/", std::string());
            collect(directory + L"\\" + name, prefix + narrow + "/", members);
        } else {
            members.emplace_back(prefix + narrow, readTextFile(directory + L"\\" + name));
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

} // namespace

std::string tarGz(const std::vector<std::pair<std::string, std::string>>& members)
{
    std::string tar;
    for (const auto& [name, bytes] : members) {
        const bool directory = !name.empty() && name.back() == '/';
        tar += tarHeader(name, bytes.size(), directory);
        tar += bytes;
        tar.append((512 - bytes.size() % 512) % 512, '\0');
    }
    tar.append(1024, '\0');

    std::string gz("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
    for (size_t at = 0; at < tar.size() || at == 0;) {
        const size_t length = std::min<size_t>(tar.size() - at, 65535);
        const bool last = at + length >= tar.size();
        gz.push_back(last ? 1 : 0);
        gz.push_back(static_cast<char>(length & 0xFF));
        gz.push_back(static_cast<char>(length >> 8));
        gz.push_back(static_cast<char>(~length & 0xFF));
        gz.push_back(static_cast<char>((~length >> 8) & 0xFF));
        gz.append(tar, at, length);
        at += length;
        if (last)
            break;
    }
    putU32(gz, crc32(reinterpret_cast<const uint8_t*>(tar.data()), tar.size()));
    putU32(gz, static_cast<uint32_t>(tar.size()));
    return gz;
}

std::vector<std::pair<std::string, std::string>> treeMembers(const std::wstring& directory)
{
    std::vector<std::pair<std::string, std::string>> members;
    collect(directory, "", members);
    return members;
}
