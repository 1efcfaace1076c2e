// Helpers of the service tests: unique service names, a clean-up that removes a service
// even when a test fails, and direct questions to the service control manager, so that
// the tests check what the launcher registered without asking the launcher.
#pragma once

#include "testing/launcher_run.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

namespace servicetest {

// Service names are machine-wide: the process id keeps parallel test programs apart.
inline std::wstring uniqueServiceName()
{
    static std::atomic<int> counter{0};
    return L"sldk-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

struct ScHandle {
    SC_HANDLE handle = nullptr;
    explicit ScHandle(SC_HANDLE h) : handle(h) {}
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    ~ScHandle()
    {
        if (handle)
            CloseServiceHandle(handle);
    }
    explicit operator bool() const { return handle != nullptr; }
};

inline ScHandle openService(const std::wstring& name, DWORD access)
{
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        return ScHandle(nullptr);
    return ScHandle(OpenServiceW(manager.handle, name.c_str(), access));
}

inline bool serviceExists(const std::wstring& name) { return static_cast<bool>(openService(name, SERVICE_QUERY_STATUS)); }

// The current state (SERVICE_RUNNING ...); nothing when the service cannot be queried.
inline std::optional<DWORD> serviceState(const std::wstring& name)
{
    ScHandle service = openService(name, SERVICE_QUERY_STATUS);
    SERVICE_STATUS status{};
    if (!service || !QueryServiceStatus(service.handle, &status))
        return std::nullopt;
    return status.dwCurrentState;
}

// Polls until the service reports the state; false after timeoutMs.
inline bool waitForState(const std::wstring& name, DWORD state, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (serviceState(name) == state)
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(50);
    }
}

// Stops the service when it runs, waits for it, and deletes it; true when none remains.
inline bool removeService(const std::wstring& name)
{
    {
        ScHandle service = openService(name, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
        if (!service)
            return !serviceExists(name);
        SERVICE_STATUS status{};
        if (ControlService(service.handle, SERVICE_CONTROL_STOP, &status))
            waitForState(name, SERVICE_STOPPED, 20000);
        DeleteService(service.handle);
    }
    // Deletion completes when the last handle is closed.
    const ULONGLONG end = GetTickCount64() + 10000;
    while (serviceExists(name) && GetTickCount64() < end)
        Sleep(50);
    return !serviceExists(name);
}

// Removes the service at the end of the scope, also when the test failed half-way.
class ServiceCleanup {
public:
    explicit ServiceCleanup(std::wstring name) : name_(std::move(name)) {}
    ServiceCleanup(const ServiceCleanup&) = delete;
    ServiceCleanup& operator=(const ServiceCleanup&) = delete;
    ~ServiceCleanup() { EXPECT_TRUE(removeService(name_)) << "service left installed: " << toUtf8(name_); }
    const std::wstring& name() const { return name_; }

private:
    std::wstring name_;
};

struct RegisteredService {
    DWORD serviceType = 0;
    DWORD startType = 0;
    std::wstring binaryPath;
    std::wstring displayName;
    std::wstring account;
    std::vector<std::wstring> dependencies;
};

inline std::optional<RegisteredService> registeredService(const std::wstring& name)
{
    ScHandle service = openService(name, SERVICE_QUERY_CONFIG);
    if (!service)
        return std::nullopt;
    DWORD needed = 0;
    QueryServiceConfigW(service.handle, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed ? needed : 1);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service.handle, config, static_cast<DWORD>(buffer.size()), &needed))
        return std::nullopt;
    RegisteredService result;
    result.serviceType = config->dwServiceType;
    result.startType = config->dwStartType;
    result.binaryPath = config->lpBinaryPathName ? config->lpBinaryPathName : L"";
    result.displayName = config->lpDisplayName ? config->lpDisplayName : L"";
    result.account = config->lpServiceStartName ? config->lpServiceStartName : L"";
    for (const wchar_t* item = config->lpDependencies; item && *item; item += wcslen(item) + 1)
        result.dependencies.emplace_back(item);
    // Wine's manager stores the dependencies but does not report them; the service's
    // registry key holds what was registered on both systems.
    if (result.dependencies.empty()) {
        const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\" + name;
        std::vector<wchar_t> value(4096, L'\0');
        DWORD size = static_cast<DWORD>((value.size() - 2) * sizeof(wchar_t));
        if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"DependOnService", RRF_RT_REG_MULTI_SZ, nullptr,
                         value.data(), &size) == ERROR_SUCCESS) {
            for (const wchar_t* item = value.data(); *item; item += wcslen(item) + 1)
                result.dependencies.emplace_back(item);
        }
    }
    return result;
}

inline std::optional<std::wstring> serviceDescription(const std::wstring& name)
{
    ScHandle service = openService(name, SERVICE_QUERY_CONFIG);
    if (!service)
        return std::nullopt;
    DWORD needed = 0;
    QueryServiceConfig2W(service.handle, SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed > sizeof(SERVICE_DESCRIPTIONW) ? needed : sizeof(SERVICE_DESCRIPTIONW));
    if (!QueryServiceConfig2W(service.handle, SERVICE_CONFIG_DESCRIPTION, buffer.data(),
                              static_cast<DWORD>(buffer.size()), &needed))
        return std::nullopt;
    const auto* description = reinterpret_cast<const SERVICE_DESCRIPTIONW*>(buffer.data());
    return description->lpDescription ? std::wstring(description->lpDescription) : std::wstring();
}

// Standard output as the commands print it, with the line ends of text mode turned back to LF.
inline std::string consoleText(const ProcessResult& result)
{
    std::string text;
    for (size_t i = 0; i < result.standardOutput.size(); ++i) {
        if (result.standardOutput[i] == '\r' && i + 1 < result.standardOutput.size() &&
            result.standardOutput[i + 1] == '\n')
            continue;
        text.push_back(result.standardOutput[i]);
    }
    return text;
}

// The processes whose image is the file (compared ignoring case): the service process and
// its worker both run the launcher itself.
inline int processesOfImage(const std::wstring& image)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (!process)
            continue;
        wchar_t path[MAX_PATH * 4] = {};
        DWORD size = MAX_PATH * 4;
        if (QueryFullProcessImageNameW(process, 0, path, &size) && _wcsicmp(path, image.c_str()) == 0)
            ++count;
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return count;
}

// Waits up to timeoutMs for the last process of the image to end; the count left.
inline int waitForNoProcessOf(const std::wstring& image, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    int count = processesOfImage(image);
    while (count != 0 && GetTickCount64() < end) {
        Sleep(50);
        count = processesOfImage(image);
    }
    return count;
}

inline std::string lowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace servicetest
