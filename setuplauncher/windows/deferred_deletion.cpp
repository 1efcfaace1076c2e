#include "setuplauncher/windows/deferred_deletion.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/base/random_numbers.h"
#include "launchcore/windows/base/system_text.h"
#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/base/wide_format.h"
#include "launchcore/windows/system_reboot.h"
#include "setuplauncher/deletion_list.h"

namespace {

constexpr int kPasses = 60;
constexpr DWORD kPassPauseMs = 500;
constexpr DWORD kSemaphorePollMs = 200;
constexpr const wchar_t* kCaption = L"sealdeck";
constexpr const wchar_t* kRebootCheckKey = L"SOFTWARE\\brenmark\\sealdeck\\";

// One listed file or directory and what the passes have done with it.
struct Entry {
    std::wstring path;
    bool directory = false;
    bool done = false;      // deleted, or gone by itself
    bool scheduled = false; // left to the next system start
};

// The folder of the executable without its trailing backslash (a drive root keeps it).
std::wstring executableFolder()
{
    std::wstring folder = moduleFileName();
    const size_t slash = folder.find_last_of(L'\\');
    if (slash == std::wstring::npos)
        return {};
    folder.resize(slash);
    if (folder.size() == 2 && folder[1] == L':')
        folder.push_back(L'\\');
    return folder;
}

std::vector<unsigned char> readWholeFile(const std::wstring& path)
{
    std::vector<unsigned char> bytes;
    unique_file file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return bytes;
    unsigned char block[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), block, sizeof block, &got, nullptr) && got > 0)
        bytes.insert(bytes.end(), block, block + got);
    return bytes;
}

// The writer holds the semaphore until it ends. Creating it tells whether it still exists;
// an elevated writer's object cannot even be opened, which tells the same.
void waitWhileSemaphoreExists(const std::wstring& name)
{
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        unique_handle semaphore(CreateSemaphoreW(nullptr, 0, 1, name.c_str()));
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED)
            return;
        semaphore.reset();
        Sleep(kSemaphorePollMs);
    }
}

bool scheduleForReboot(const std::wstring& path)
{
    return MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

// Inside an extraction directory of the launcher: such leftovers go at the next start
// without retries and without a reboot question.
bool inExtractionDirectory(const std::wstring& path)
{
    return path.find(L"vxn") != std::wstring::npos && path.find(L".tmp_dir") != std::wstring::npos;
}

// One try at an entry; false when it still resists (a failure of this pass).
bool tryEntry(Entry& entry, bool lastPass, bool rebootDeletion, bool& rebootNeeded)
{
    const BOOL removed =
        entry.directory ? RemoveDirectoryW(entry.path.c_str()) : DeleteFileW(entry.path.c_str());
    if (removed || GetFileAttributesW(entry.path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        entry.done = true;
        return true;
    }
    if (inExtractionDirectory(entry.path)) {
        if (!entry.scheduled)
            entry.scheduled = scheduleForReboot(entry.path);
        return true;
    }
    if (lastPass && rebootDeletion && !entry.scheduled) {
        entry.scheduled = scheduleForReboot(entry.path);
        // Only a file left to the next start makes a reboot needed; a directory does not.
        if (entry.scheduled && !entry.directory)
            rebootNeeded = true;
    }
    return false;
}

// The deletion passes; true when a reboot is needed for what was scheduled.
bool deleteWithRetries(const DeletionList& list)
{
    std::vector<Entry> entries;
    for (const auto& file : list.files)
        entries.push_back(Entry{toWide(file), false});
    for (const auto& directory : list.directories)
        entries.push_back(Entry{toWide(directory), true});

    bool rebootNeeded = false;
    for (int pass = 1; pass <= kPasses; ++pass) {
        if (pass > 1)
            Sleep(kPassPauseMs);
        if (!list.semaphoreName.empty())
            waitWhileSemaphoreExists(toWide(list.semaphoreName));
        bool failed = false;
        for (Entry& entry : entries) {
            if (!entry.done && !tryEntry(entry, pass == kPasses, list.rebootDeletion, rebootNeeded))
                failed = true;
        }
        if (!failed)
            break;
    }
    return rebootNeeded;
}

void rebootOrWarn(const DeletionList& list)
{
    if (!rebootSystem() && !list.rebootWarning.empty())
        MessageBoxW(nullptr, toWide(list.rebootWarning).c_str(), kCaption, MB_ICONWARNING);
}

// The folder for the marker file: the temporary path (created when missing), else the
// user's home folder.
std::wstring markerFolder()
{
    const std::optional<std::wstring> temp =
        fillGrowing<wchar_t>([](wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); });
    if (temp && !temp->empty()) {
        CreateDirectoryW(temp->c_str(), nullptr);
        return *temp;
    }
    return environmentVariable(L"HOMEDRIVE").value_or(L"") + environmentVariable(L"HOMEPATH").value_or(L"");
}

std::wstring makeMarkerFile()
{
    std::wstring folder = markerFolder();
    // The call writes up to MAX_PATH units whatever the folder's length.
    std::vector<wchar_t> name(std::max<size_t>(MAX_PATH, folder.size() + 16));
    if (GetTempFileNameW(folder.c_str(), L"ide", 0, name.data()) != 0)
        return name.data();
    if (!folder.empty() && folder.back() != L'\\')
        folder.push_back(L'\\');
    return formatWide(L"%svxn%d", folder.c_str(), nextRandom());
}

void writeRebootCheckFile(HKEY root, const std::wstring& marker)
{
    unique_hkey key;
    if (RegCreateKeyExW(root, kRebootCheckKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key.get(), L"RebootCheckFile", 0, REG_SZ, reinterpret_cast<const BYTE*>(marker.c_str()),
                   static_cast<DWORD>((marker.size() + 1) * sizeof(wchar_t)));
}

// A file that exists until the next system start tells the Java side that a reboot is
// still pending.
void leaveRebootMarker()
{
    const std::wstring marker = makeMarkerFile();
    if (!scheduleForReboot(marker))
        return;
    writeRebootCheckFile(HKEY_LOCAL_MACHINE, marker);
    writeRebootCheckFile(HKEY_CURRENT_USER, marker);
}

} // namespace

int runDeferredDeletion(const std::wstring& listPath)
{
    SetCurrentDirectoryW(executableFolder().c_str());
    const std::vector<unsigned char> bytes = readWholeFile(listPath);
    const DeletionList list = parseDeletionList(bytes.data(), bytes.size());

    const bool rebootNeeded = deleteWithRetries(list);
    DeleteFileW(listPath.c_str());

    if (list.forceReboot) {
        rebootOrWarn(list);
    } else if (rebootNeeded) {
        if (!list.rebootQuestion.empty() &&
            MessageBoxW(nullptr, toWide(list.rebootQuestion).c_str(), kCaption, MB_ICONQUESTION | MB_YESNO) == IDYES)
            rebootOrWarn(list);
        else
            leaveRebootMarker();
    }
    return 0;
}
