#include "testing/deletion_run.h"

#include <cwctype>

namespace {

constexpr const wchar_t* kSessionManager = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr const wchar_t* kPendingRenames = L"PendingFileRenameOperations";
constexpr const wchar_t* kRebootCheckKey = L"SOFTWARE\\brenmark\\sealdeck";

// The rename list: pairs of source and target, an empty target meaning deletion.
std::vector<std::wstring> readPendingRenames()
{
    std::vector<std::wstring> entries;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return entries;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, kPendingRenames, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_MULTI_SZ) {
        std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
        if (RegQueryValueExW(key, kPendingRenames, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
            ERROR_SUCCESS) {
            // Every string is kept, the empty targets too; the list ends at the end of the data.
            const size_t units = size / sizeof(wchar_t);
            size_t start = 0;
            for (size_t i = 0; i < units; ++i) {
                if (data[i] == L'\0') {
                    entries.emplace_back(data.data() + start, i - start);
                    start = i + 1;
                }
            }
            while (!entries.empty() && entries.size() % 2 != 0 && entries.back().empty())
                entries.pop_back();
        }
    }
    RegCloseKey(key);
    return entries;
}

std::wstring withoutNtPrefix(const std::wstring& path)
{
    return path.rfind(L"\\??\\", 0) == 0 ? path.substr(4) : path;
}

std::wstring lowered(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(towlower(c));
    return text;
}

} // namespace

bool writeDeletionList(const std::wstring& path, const std::vector<std::wstring>& lines, bool byteOrderMark)
{
    std::wstring text = byteOrderMark ? L"\xFEFF" : L"";
    for (const std::wstring& line : lines)
        text += line + L"\r\n";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const bool ok = WriteFile(file, text.data(), size, &written, nullptr) && written == size;
    CloseHandle(file);
    return ok;
}

std::vector<std::wstring> deletionListLines(const std::wstring& mode, const std::wstring& question,
                                            const std::vector<std::wstring>& files,
                                            const std::vector<std::wstring>& directories, const std::wstring& warning)
{
    std::vector<std::wstring> lines{L"", mode, question, L"EOSMARKER", warning, L"EOSMARKER"};
    lines.insert(lines.end(), files.begin(), files.end());
    lines.push_back(L"");
    lines.insert(lines.end(), directories.begin(), directories.end());
    return lines;
}

std::vector<std::wstring> pendingRebootDeletions()
{
    std::vector<std::wstring> paths;
    const std::vector<std::wstring> entries = readPendingRenames();
    for (size_t i = 0; i + 1 < entries.size(); i += 2) {
        if (entries[i + 1].empty())
            paths.push_back(withoutNtPrefix(entries[i]));
    }
    return paths;
}

bool isPendingRebootDeletion(const std::wstring& path)
{
    for (const std::wstring& pending : pendingRebootDeletions()) {
        if (lowered(pending) == lowered(path))
            return true;
    }
    return false;
}

void forgetPendingRebootDeletions(const std::wstring& folder)
{
    const std::vector<std::wstring> entries = readPendingRenames();
    const std::wstring prefix = lowered(folder);
    std::wstring kept;
    bool removed = false;
    for (size_t i = 0; i + 1 < entries.size(); i += 2) {
        if (entries[i + 1].empty() && lowered(withoutNtPrefix(entries[i])).rfind(prefix, 0) == 0) {
            removed = true;
            continue;
        }
        kept += entries[i] + L'\0' + entries[i + 1] + L'\0';
    }
    if (!removed)
        return;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    if (kept.empty()) {
        RegDeleteValueW(key, kPendingRenames);
    } else {
        kept += L'\0';
        RegSetValueExW(key, kPendingRenames, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                       static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
    }
    RegCloseKey(key);
}

std::wstring rebootCheckFile(HKEY root)
{
    wchar_t value[1024] = L"";
    DWORD size = sizeof value - sizeof(wchar_t);
    if (RegGetValueW(root, kRebootCheckKey, L"RebootCheckFile", RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return {};
    return value;
}

void removeRebootCheckFile(HKEY root)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, kRebootCheckKey, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, L"RebootCheckFile");
    DWORD subkeys = 0;
    DWORD values = 0;
    const bool empty = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                        nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                       subkeys == 0 && values == 0;
    RegCloseKey(key);
    if (empty)
        RegDeleteKeyW(root, kRebootCheckKey);
}

LockedFile::LockedFile(const std::wstring& path)
    : handle_(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                          nullptr))
{
}

LockedFile::~LockedFile() { release(); }

void LockedFile::release()
{
    if (handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}
