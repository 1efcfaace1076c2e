#include "testing/standin_runtime.h"

#include "launchcore/java_version_text.h"

namespace {

// A line each, split at "\n" with a trailing "\r" removed (the stand-ins write either).
std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

bool copyStandin(const char* name, const std::string& target)
{
    return CopyFileA((standinDirectory() + "\\" + name).c_str(), target.c_str(), FALSE) != 0;
}

bool layOutBin(const std::string& bin, const StandinRuntimeOptions& options, bool withLibrary)
{
    CreateDirectoryA(bin.c_str(), nullptr);
    if (!copyStandin("java.exe", bin + "\\java.exe"))
        return false;
    if (options.javaw && !copyStandin("javaw.exe", bin + "\\javaw.exe"))
        return false;
    if (!options.versionLine.empty() && !writeTextFile(bin + "\\java-version.txt", options.versionLine + "\r\n"))
        return false;
    if (options.exitCode != 0 && !writeTextFile(bin + "\\java-exit.txt", std::to_string(options.exitCode)))
        return false;
    if (withLibrary && options.jvmLibrary) {
        const std::string vm = bin + "\\" + options.vmType;
        CreateDirectoryA(vm.c_str(), nullptr);
        if (!copyStandin(options.companionLibrary ? "jvm_companion.dll" : "jvm.dll", vm + "\\jvm.dll"))
            return false;
        if (options.companionLibrary && !copyStandin("sldkcompanion.dll", bin + "\\sldkcompanion.dll"))
            return false;
        if (options.refuseLoad && !writeTextFile(vm + "\\refuse-load", ""))
            return false;
    }
    return true;
}

void deleteTree(HKEY root, const std::string& key) { RegDeleteTreeA(root, key.c_str()); }

} // namespace

std::string standinDirectory()
{
    char path[MAX_PATH + 1];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH)
        return ".";
    const std::string text(path, length);
    return text.substr(0, text.find_last_of('\\'));
}

bool layOutStandinRuntime(const std::string& home, const StandinRuntimeOptions& options)
{
    CreateDirectoryA(home.c_str(), nullptr);
    if (!layOutBin(home + "\\bin", options, !options.jdk))
        return false;
    if (options.jdk) {
        CreateDirectoryA((home + "\\jre").c_str(), nullptr);
        if (!layOutBin(home + "\\jre\\bin", options, true))
            return false;
    }
    if (options.toolsJar) {
        CreateDirectoryA((home + "\\lib").c_str(), nullptr);
        if (!writeTextFile(home + "\\lib\\tools.jar", "PK"))
            return false;
    }
    return true;
}

std::string standinJavaExe(const std::string& home, const StandinRuntimeOptions& options)
{
    return home + (options.jdk ? "\\jre\\bin\\java.exe" : "\\bin\\java.exe");
}

std::string standinJvmLibrary(const std::string& home, const StandinRuntimeOptions& options)
{
    return home + (options.jdk ? "\\jre\\bin\\" : "\\bin\\") + options.vmType + "\\jvm.dll";
}

bool touchFile(const std::string& path, int secondsAhead)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER value{{now.dwLowDateTime, now.dwHighDateTime}};
    value.QuadPart += static_cast<ULONGLONG>(secondsAhead) * 10000000ULL;
    const FILETIME later{value.LowPart, value.HighPart};
    const BOOL ok = SetFileTime(file, nullptr, nullptr, &later);
    CloseHandle(file);
    return ok != 0;
}

bool writeJavaSoftRuntime(const std::string& key, const std::string& version, const std::string& javaHome)
{
    HKEY created = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, (key + "\\" + version).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &created, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG status = RegSetValueExA(created, "JavaHome", 0, REG_SZ, reinterpret_cast<const BYTE*>(javaHome.c_str()),
                                       static_cast<DWORD>(javaHome.size() + 1));
    RegCloseKey(created);
    return status == ERROR_SUCCESS;
}

bool setJavaSoftCurrentVersion(const std::string& key, const std::string& version)
{
    return RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "CurrentVersion", REG_SZ, version.c_str(),
                           static_cast<DWORD>(version.size() + 1)) == ERROR_SUCCESS;
}

void deleteJavaSoftKeys() { deleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft"); }

bool writeLocatedJvm(HKEY root, const std::string& javaExe)
{
    HKEY created = nullptr;
    if (RegCreateKeyExA(root, locatedJvmKey(javaExe).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                        nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(created);
    return true;
}

void deleteLocatedJvms()
{
    deleteTree(HKEY_CURRENT_USER, kLocatedJvmsKey);
    deleteTree(HKEY_LOCAL_MACHINE, kLocatedJvmsKey);
}

bool writePreviousInstallations(HKEY root, const std::string& appId, const std::vector<std::string>& directories)
{
    std::string list;
    for (const std::string& directory : directories)
        list += (list.empty() ? "" : ";") + directory;
    return RegSetKeyValueA(root, "SOFTWARE\\brenmark\\sealdeck\\installations", appId.c_str(), REG_SZ, list.c_str(),
                           static_cast<DWORD>(list.size() + 1)) == ERROR_SUCCESS;
}

void deletePreviousInstallations(HKEY root, const std::string& appId)
{
    RegDeleteKeyValueA(root, "SOFTWARE\\brenmark\\sealdeck\\installations", appId.c_str());
}

void clearVersionCache() { deleteTree(HKEY_CURRENT_USER, "SOFTWARE\\brenmark\\vexon\\jvms"); }

bool writeVersionCacheEntry(const std::string& javaExe, const FILETIME& lastWrite, const std::string& versionBytes)
{
    HKEY created = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, versionCacheKey(javaExe).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &created, nullptr) != ERROR_SUCCESS)
        return false;
    const bool ok = RegSetValueExA(created, "LastWriteTime", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&lastWrite),
                                   sizeof lastWrite) == ERROR_SUCCESS &&
                    RegSetValueExA(created, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(versionBytes.data()),
                                   static_cast<DWORD>(versionBytes.size())) == ERROR_SUCCESS;
    RegCloseKey(created);
    return ok;
}

bool readVersionCacheEntry(const std::string& javaExe, std::string& version)
{
    char buffer[8192];
    DWORD size = sizeof buffer;
    if (RegGetValueA(HKEY_CURRENT_USER, versionCacheKey(javaExe).c_str(), "Version", RRF_RT_REG_SZ | RRF_NOEXPAND,
                     nullptr, buffer, &size) != ERROR_SUCCESS)
        return false;
    version.assign(buffer);
    return true;
}

std::vector<std::string> recordedJavaRuns(const std::string& runsFile)
{
    std::vector<std::string> runs;
    for (std::string& line : linesOf(readTextFile(runsFile)))
        if (!line.empty())
            runs.push_back(std::move(line));
    return runs;
}

std::vector<std::string> traceLines(const std::wstring& path) { return linesOf(readTextFile(path)); }

std::vector<std::string> traced(const std::vector<std::string>& lines, const std::string& prefix)
{
    std::vector<std::string> values;
    for (const std::string& line : lines)
        if (line.rfind(prefix, 0) == 0)
            values.push_back(line.substr(prefix.size()));
    return values;
}
