#include "launchcore/windows/java_version_query.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "launchcore/java_version_text.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/base/process_launch.h"
#include "launchcore/windows/base/registry.h"
#include "launchcore/windows/base/system_text.h"
#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/exit/fatal_exit.h"
#include "launchcore/windows/files/temporary_files.h"

namespace {

constexpr size_t kCachedVersionCapacity = 6000;
// Enough for any number of banner lines in front of the version line.
constexpr DWORD kVersionOutputLimit = 64 * 1024;
constexpr int kTemporaryFileAttempts = 10;

// The output file of one run. Created with CREATE_NEW so that an entry planted under a
// predictable name (the fallback names of a broken temporary directory) is never followed.
// The empty file GetTempFileName reserves for us is replaced by our own.
unique_file createOutputFile(std::string& name)
{
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    for (int attempt = 0; attempt < kTemporaryFileAttempts; ++attempt) {
        name = tempFileName();
        if (name.empty())
            fatalMessage(1015);
        for (int pass = 0; pass < 2; ++pass) {
            unique_file file(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         &inheritable, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file)
                return file;
            if (GetLastError() != ERROR_FILE_EXISTS || pass == 1 || !DeleteFileA(name.c_str()))
                break;
        }
    }
    name.clear();
    return unique_file();
}

std::string readOutput(const std::string& name)
{
    std::string bytes;
    unique_file file(CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (bytes.size() < kVersionOutputLimit && ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    // A text-mode reader stops at Ctrl-Z.
    const size_t end = bytes.find('\x1a');
    if (end != std::string::npos)
        bytes.resize(end);
    return bytes;
}

} // namespace

bool readCachedVersion(const std::string& javaExe, const FILETIME& lastWrite, std::string& version)
{
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, versionCacheKey(javaExe).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    BYTE stored[8] = {};
    DWORD size = sizeof stored;
    if (RegQueryValueExA(key.get(), "LastWriteTime", nullptr, nullptr, stored, &size) != ERROR_SUCCESS ||
        size != sizeof stored || std::memcmp(stored, &lastWrite, sizeof stored) != 0)
        return false;
    std::string text;
    if (!readRegStringValue(key.get(), "Version", kCachedVersionCapacity, text))
        return false;
    if (text != "1.0.0" && !isUsableCachedVersion(text))
        return false;
    version = text;
    return true;
}

void writeCachedVersion(const std::string& javaExe, const FILETIME& lastWrite, const std::string& version)
{
    unique_hkey key;
    const std::string keyName = versionCacheKey(javaExe);
    LSTATUS status = RegCreateKeyExA(HKEY_CURRENT_USER, keyName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                     key.put(), nullptr);
    if (status != ERROR_SUCCESS) {
        logError(L"could not create version cache key %S (%d)", keyName.c_str(), static_cast<int>(status));
        return;
    }
    status = RegSetValueExA(key.get(), "LastWriteTime", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&lastWrite),
                            sizeof lastWrite);
    if (status != ERROR_SUCCESS)
        logError(L"could not write LastWriteTime of %S (%d)", keyName.c_str(), static_cast<int>(status));
    // Stored without a terminator, as every launcher sharing this cache writes it.
    status = RegSetValueExA(key.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.data()),
                            static_cast<DWORD>(version.size()));
    if (status != ERROR_SUCCESS)
        logError(L"could not write Version of %S (%d)", keyName.c_str(), static_cast<int>(status));
}

bool queryJavaVersion(const std::string& javaExe, const FILETIME& lastWrite, std::string& version, DWORD timeoutMs)
{
    std::string commandPath = shortPathName(javaExe);
    if (commandPath.empty()) {
        logLine(L"Could not get short path name for %S", javaExe.c_str());
        commandPath = javaExe;
    }
    return runVersionQuery(commandPath, javaExe, lastWrite, version, timeoutMs);
}

bool runVersionQuery(const std::string& commandPath, const std::string& javaExe, const FILETIME& lastWrite,
                     std::string& version, DWORD timeoutMs)
{
    std::string commandLine = versionQueryCommand(commandPath);
    std::string outputName;
    unique_file created = createOutputFile(outputName);
    unique_handle output;
    if (created) {
        HANDLE duplicate = nullptr;
        if (DuplicateHandle(GetCurrentProcess(), created.get(), GetCurrentProcess(), &duplicate, 0, TRUE,
                            DUPLICATE_SAME_ACCESS))
            output.reset(duplicate);
        created.reset();
    }

    ProcessLaunch launch;
    launch.commandLine = widenAnsi(commandLine);
    launch.standardError = output.get();
    launch.hidden = true;
    launch.inheritHandles = true;
    StartedProcess started;
    if (output)
        started = startProcess(launch);
    if (!started) {
        logLine(L"Could not create process %S > %S (error %d)", commandLine.c_str(), outputName.c_str(),
                static_cast<int>(output ? started.error : GetLastError()));
        output.reset();
        if (!outputName.empty())
            DeleteFileA(outputName.c_str());
        return false;
    }

    // Terminated on time-out, and let go before its output file is deleted.
    const ProcessWait waited = waitForProcess(started.process.get(), timeoutMs, true);
    const DWORD exitCode = waited.exitCode;
    logLine(L"Exit Code %d", static_cast<int>(exitCode));
    const bool timedOut = !waited.ended();
    if (timedOut)
        logLine(L"Terminating process");
    else if (exitCode != 0)
        writeCachedVersion(javaExe, lastWrite, "1.0.0");
    started = StartedProcess();
    output.reset();
    if (timedOut || exitCode != 0) {
        DeleteFileA(outputName.c_str());
        return false;
    }

    const std::optional<std::string> found = versionFromJavaOutput(readOutput(outputName));
    version = found.value_or(std::string());
    logLine(L"Java version: %S", version.c_str());
    DeleteFileA(outputName.c_str());
    return found.has_value();
}
