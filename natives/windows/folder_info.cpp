// The natives of the FolderInfo class: shell and known folders, the Windows and system
// directories, values of the Windows CurrentVersion key, drive types, short and universal
// path names.
#include <windows.h>

#include <shlobj.h>
#include <winnetwk.h>

#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/base/late_binding.h"
#include "launchcore/windows/base/system_text.h"
#include "launchcore/windows/base/wide_format.h"
#include "natives/folder_codes.h"
#include "natives/windows/file_version.h"
#include "natives/windows/native_export.h"

namespace {

// Paths are answered up to this length; a longer one counts as a failure of its call.
constexpr DWORD kPathUnits = 0x7fff;
constexpr DWORD kFolderPathUnits = 32768;
constexpr DWORD kRegistryValueBytes = 0x7fff;
constexpr DWORD kUniversalNameBytes = 0xfffe;

using ShellFolderPathCall = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
using KnownFolderPathCall = HRESULT(WINAPI*)(REFGUID, DWORD, HANDLE, PWSTR*);
using TaskMemFree = void(WINAPI*)(void*);
using UniversalName = DWORD(WINAPI*)(LPCWSTR, DWORD, LPVOID, LPDWORD);

constexpr GUID kDownloads = {0x374DE290, 0x123F, 0x4565, {0x91, 0x64, 0x39, 0xC4, 0x92, 0x5E, 0x46, 0x7B}};
constexpr GUID kUserProgramFiles = {0x5CD7AEE2, 0x2219, 0x4A67, {0xB8, 0x5D, 0x6C, 0x9C, 0xE1, 0x56, 0x60, 0xCB}};
constexpr GUID kUserProgramFilesCommon = {0xBCBD3057, 0xCA5C, 0x4622, {0xB4, 0x2D, 0xBC, 0x56, 0xDB, 0x0A, 0xE5, 0x16}};
constexpr GUID kProfile = {0x5E6C858F, 0x0E22, 0x4760, {0x9A, 0xFE, 0xEA, 0x33, 0x17, 0xB6, 0x71, 0x73}};

const GUID& knownFolderId(KnownFolder folder)
{
    switch (folder) {
    case KnownFolder::Downloads: return kDownloads;
    case KnownFolder::UserProgramFiles: return kUserProgramFiles;
    case KnownFolder::UserProgramFilesCommon: return kUserProgramFilesCommon;
    case KnownFolder::Profile: break;
    }
    return kProfile;
}

// Text a fixed-limit call filled in; none when it failed or the text reaches the limit.
template <typename Fill>
std::optional<std::wstring> limitedText(Fill fill)
{
    std::optional<std::wstring> text = fillGrowing<wchar_t>(fill);
    if (text && text->size() >= kPathUnits)
        return std::nullopt;
    return text;
}

std::wstring systemDirectoryPath(const wchar_t* name)
{
    const std::optional<std::wstring> directory =
        limitedText([](wchar_t* buffer, DWORD size) { return GetSystemDirectoryW(buffer, size); });
    return directory ? *directory + L"\\" + name : std::wstring();
}

// SHGetFolderPathW from the newer of the two shell-folder libraries, bound once. Both are
// read and loaded from the system directory: a copy planted beside the program must never
// win the comparison or be loaded.
ShellFolderPathCall boundShellFolderPath()
{
    static const ShellFolderPathCall bound = []() -> ShellFolderPathCall {
        // The shell-folder library forwards to shell32; load it first.
        systemLibrary(L"shell32.dll");
        const std::wstring replacement = systemDirectoryPath(L"_shfoldr.dll");
        const std::wstring standard = systemDirectoryPath(L"shfolder.dll");
        HMODULE library = nullptr;
        if (!replacement.empty() && !standard.empty()) {
            const FileVersionOrder order =
                compareFileVersions(readFileVersion(replacement.c_str()), readFileVersion(standard.c_str()));
            if (order == kFirstFileNewer || order == kFileVersionUnreadable)
                library = systemLibrary(L"_shfoldr.dll");
        }
        if (!library)
            library = systemLibrary(L"shfolder.dll");
        return library ? reinterpret_cast<ShellFolderPathCall>(GetProcAddress(library, "SHGetFolderPathW")) : nullptr;
    }();
    return bound;
}

jstring knownFolderPath(JNIEnv* env, jint code)
{
    static const KnownFolderPathCall folderPath =
        lateBound<KnownFolderPathCall>(L"shell32.dll", "SHGetKnownFolderPath");
    static const TaskMemFree taskMemFree = lateBound<TaskMemFree>(L"ole32.dll", "CoTaskMemFree");
    if (!folderPath || !taskMemFree)
        return nullptr;
    PWSTR path = nullptr;
    const HRESULT result = folderPath(knownFolderId(knownFolder(code)), 0, nullptr, &path);
    // The call hands out its buffer even when it fails.
    const on_scope_exit freePath([&] { taskMemFree(path); });
    if (result != S_OK || !path)
        return nullptr;
    return newJavaString(env, std::wstring_view(path));
}

jstring shellFolderPath(JNIEnv* env, jint code, bool allUsers)
{
    const ShellFolderPathCall folderPath = boundShellFolderPath();
    if (!folderPath)
        return nullptr;
    std::vector<wchar_t> path(kFolderPathUnits, L'\0');
    if (folderPath(nullptr, shellFolderId(code, allUsers) | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                   path.data()) != S_OK)
        return nullptr;
    return newJavaString(env, std::wstring_view(path.data(), wcsnlen(path.data(), path.size())));
}

// The argument itself as the answer, in a reference of the native's own frame.
jstring sameString(JNIEnv* env, jstring argument)
{
    return argument ? static_cast<jstring>(env->NewLocalRef(argument)) : nullptr;
}

} // namespace

SLDK_NATIVE_EXPORT(jstring, FolderInfo, getSpecialFolder0)(JNIEnv* env, jobject, jint code, jboolean allUsers)
{
    if (code > kLastShellFolderCode)
        return knownFolderPath(env, code);
    return shellFolderPath(env, code, allUsers != JNI_FALSE);
}

SLDK_NATIVE_EXPORT(jstring, FolderInfo, getPathFromRegistry0)(JNIEnv* env, jobject, jstring valueName)
{
    const JavaText name(env, valueName);
    if (!name.ok())
        return nullptr;
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", 0, KEY_QUERY_VALUE,
                      key.put()) != ERROR_SUCCESS)
        return nullptr;
    // Two bytes beyond the limit leave the registry room for a terminator the stored text
    // lacks; the text is then cut at the data's end, or its first NUL.
    std::vector<wchar_t> data((kRegistryValueBytes + 2) / sizeof(wchar_t) + 1, L'\0');
    DWORD size = kRegistryValueBytes + 2;
    if (RegQueryValueExW(key.get(), name.wide(), nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
        return nullptr;
    const size_t units = size / sizeof(wchar_t);
    return newJavaString(env, std::wstring_view(data.data(), wcsnlen(data.data(), units)));
}

SLDK_NATIVE_EXPORT(jstring, FolderInfo, getWindowsDirectory0)(JNIEnv* env, jobject)
{
    // The shared Windows directory, not a terminal-server user's private one.
    using SystemWindowsDirectory = UINT(WINAPI*)(LPWSTR, UINT);
    static const SystemWindowsDirectory systemWindows =
        lateBound<SystemWindowsDirectory>(L"kernel32.dll", "GetSystemWindowsDirectoryW");
    std::optional<std::wstring> directory;
    if (systemWindows)
        directory = limitedText([](wchar_t* buffer, DWORD size) { return systemWindows(buffer, size); });
    if (!directory)
        directory = limitedText([](wchar_t* buffer, DWORD size) { return GetWindowsDirectoryW(buffer, size); });
    return directory ? newJavaString(env, *directory) : nullptr;
}

SLDK_NATIVE_EXPORT(jstring, FolderInfo, getSystemDirectory0)(JNIEnv* env, jobject)
{
    const std::optional<std::wstring> directory =
        limitedText([](wchar_t* buffer, DWORD size) { return GetSystemDirectoryW(buffer, size); });
    return directory ? newJavaString(env, *directory) : nullptr;
}

SLDK_NATIVE_EXPORT(jint, FolderInfo, getDriveType0)(JNIEnv* env, jobject, jstring rootPath)
{
    const JavaText root(env, rootPath);
    if (!root.ok())
        return DRIVE_UNKNOWN;
    return static_cast<jint>(GetDriveTypeW(root.wide()));
}

SLDK_NATIVE_EXPORT(jstring, FolderInfo, getShortPathName0)(JNIEnv* env, jobject, jstring path)
{
    const JavaText longPath(env, path);
    // A null path is its own answer.
    if (!longPath.ok() || longPath.isNull())
        return nullptr;
    const std::optional<std::wstring> shortPath = limitedText(
        [&](wchar_t* buffer, DWORD size) { return GetShortPathNameW(longPath.wide(), buffer, size); });
    return shortPath ? newJavaString(env, *shortPath) : sameString(env, path);
}

SLDK_NATIVE_EXPORT(jstring, FolderInfo, getUniversalPathName0)(JNIEnv* env, jobject, jstring path)
{
    static const UniversalName universalName = lateBound<UniversalName>(L"mpr.dll", "WNetGetUniversalNameW");
    if (!universalName)
        return sameString(env, path);
    const JavaText localPath(env, path);
    if (!localPath.ok())
        return nullptr;
    std::vector<wchar_t> buffer(kUniversalNameBytes / sizeof(wchar_t), L'\0');
    DWORD size = kUniversalNameBytes;
    const DWORD result = universalName(localPath.wide(), UNIVERSAL_NAME_INFO_LEVEL, buffer.data(), &size);
    if (result != NO_ERROR)
        return newJavaString(env, formatWide(L";%d", static_cast<int>(result)));
    // The name lies in the buffer behind the record that points to it.
    const wchar_t* name = reinterpret_cast<const UNIVERSAL_NAME_INFOW*>(buffer.data())->lpUniversalName;
    const wchar_t* end = buffer.data() + buffer.size();
    if (!name || name < buffer.data() || name >= end)
        return newJavaString(env, formatWide(L";%d", static_cast<int>(ERROR_INVALID_DATA)));
    return newJavaString(env, std::wstring_view(name, wcsnlen(name, static_cast<size_t>(end - name))));
}
