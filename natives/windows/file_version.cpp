// The natives of the FileVersion class, and the version reading they share with FolderInfo.
#include "natives/windows/file_version.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "launchcore/windows/base/late_binding.h"
#include "natives/windows/native_export.h"

namespace {

// Paths up to this length (its NUL not counted) are read.
constexpr size_t kLongestPath = 32767;

struct VersionFunctions {
    DWORD(WINAPI* size)(LPCWSTR, LPDWORD) = nullptr;
    BOOL(WINAPI* read)(LPCWSTR, DWORD, DWORD, LPVOID) = nullptr;
    BOOL(WINAPI* query)(LPCVOID, LPCWSTR, LPVOID*, PUINT) = nullptr;
    bool bound() const { return size && read && query; }
};

// Bound once for the process; version.dll is not a library Windows always takes from the
// system directory, so it is never looked for beside the program.
const VersionFunctions& versionFunctions()
{
    static const VersionFunctions functions = [] {
        VersionFunctions bound;
        bound.size = lateBound<decltype(bound.size)>(L"version.dll", "GetFileVersionInfoSizeW");
        bound.read = lateBound<decltype(bound.read)>(L"version.dll", "GetFileVersionInfoW");
        bound.query = lateBound<decltype(bound.query)>(L"version.dll", "VerQueryValueW");
        return bound;
    }();
    return functions;
}

} // namespace

std::optional<FileVersionNumber> readFileVersion(const wchar_t* path)
{
    const VersionFunctions& version = versionFunctions();
    if (!version.bound() || !path || wcsnlen(path, kLongestPath + 1) > kLongestPath)
        return std::nullopt;
    DWORD handle = 0;
    const DWORD size = version.size(path, &handle);
    if (size == 0)
        return std::nullopt;
    std::vector<unsigned char> block(size);
    if (!version.read(path, 0, size, block.data()))
        return std::nullopt;
    void* fixed = nullptr;
    UINT length = 0;
    if (!version.query(block.data(), L"\\", &fixed, &length))
        return std::nullopt;
    return fixedFileVersion(fixed, length);
}

SLDK_NATIVE_EXPORT(jint, FileVersion, compare0)(JNIEnv* env, jobject, jstring firstPath, jstring secondPath)
{
    const JavaText first(env, firstPath);
    if (!first.ok())
        return kFileVersionUnreadable;
    const std::optional<FileVersionNumber> firstVersion = readFileVersion(first.wide());
    if (!firstVersion)
        return kFileVersionUnreadable;
    const JavaText second(env, secondPath);
    if (!second.ok())
        return kFileVersionUnreadable;
    return compareFileVersions(firstVersion, readFileVersion(second.wide()));
}
