#include "launchcore/windows/single_instance.h"

#include <cstdint>
#include <string>
#include <vector>

#include "launchcore/configuration.h"
#include "launchcore/configuration_entries.h"
#include "launchcore/instance_name.h"
#include "launchcore/text.h"
#include "launchcore/windows/exit/fatal_exit.h"
#include "launchcore/windows/process_windows.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/process_paths.h"
#include "launchcore/windows/base/system_text.h"
#include "launchcore/windows/base/text_conversion.h"

namespace {

constexpr int kPidReadRetries = 50;
constexpr DWORD kPidRetryDelayMs = 100;

std::string g_semaphoreName;
// Kept open until the process ends: the open handle is what later starts of this
// executable see.
unique_handle g_semaphore;

void logSemaphore(const InstanceSemaphore& semaphore)
{
    logLine(L"semaphore name %S, code %d, value %p", semaphore.name.c_str(), static_cast<int>(semaphore.error),
            semaphore.handle.get());
    // Access denied in the global namespace or an over-long name: no other copy can be
    // detected, so this one carries on as the first.
    if (!semaphore.handle)
        logError(L"instance semaphore not created (%d), continuing as the first instance",
                 static_cast<int>(semaphore.error));
}

InstanceSemaphore createNamedSemaphore(const std::string& name)
{
    InstanceSemaphore semaphore;
    semaphore.name = name;
    SetLastError(ERROR_SUCCESS);
    semaphore.handle.reset(CreateSemaphoreA(nullptr, 1, 1, name.c_str()));
    semaphore.error = GetLastError();
    return semaphore;
}

std::wstring processImagePath(HANDLE process)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer.size());
        if (QueryFullProcessImageNameW(process, 0, buffer.data(), &size)) {
            if (size < buffer.size())
                return std::wstring(buffer.data(), size);
        } else if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return {};
        }
        if (buffer.size() >= 65536)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

bool samePathIgnoringCase(const std::wstring& a, const std::wstring& b)
{
    return !a.empty() && equalsIgnoreAsciiCase(toU16(a), toU16(b));
}

// A recorded pid counts only while it names another running copy of this executable.
DWORD otherInstancePid(const std::string& identity, DWORD& lastRejected)
{
    const DWORD pid = readInstancePid(identity);
    if (pid == 0)
        return 0;
    if (pid != GetCurrentProcessId() && processImageMatches(pid, identity))
        return pid;
    if (pid != lastRejected) {
        logLine(L"pid %d is not a running copy of this launcher", static_cast<int>(pid));
        lastRejected = pid;
    }
    return 0;
}

DWORD waitForOtherInstancePid(const std::string& identity)
{
    DWORD lastRejected = 0;
    DWORD pid = otherInstancePid(identity, lastRejected);
    // The first instance records its pid only after creating the semaphore.
    for (int attempt = 0; pid == 0 && attempt < kPidReadRetries; ++attempt) {
        Sleep(kPidRetryDelayMs);
        pid = otherInstancePid(identity, lastRejected);
    }
    return pid;
}

} // namespace

std::string launcherIdentity()
{
    return fullPath(moduleAnsiPath(), false);
}

InstanceSemaphore createInstanceSemaphore(const std::string& identity, bool globalNamespace, bool counted)
{
    const std::string stem = instanceNameStem(globalNamespace, identity);
    if (!counted)
        return createNamedSemaphore(stem);
    InstanceSemaphore semaphore;
    walkInstanceCounters(stem, [&](const std::string& name) {
        // Assigning closes the handle of the taken name tried before.
        semaphore = createNamedSemaphore(name);
        return semaphore.handle && semaphore.error == ERROR_ALREADY_EXISTS;
    });
    return semaphore;
}

DWORD readInstancePid(const std::string& identity)
{
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kInstancePidKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return 0;
    DWORD pid = 0;
    DWORD size = sizeof(pid);
    if (RegQueryValueExA(key.get(), identity.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&pid), &size) !=
            ERROR_SUCCESS ||
        size != sizeof(pid))
        return 0;
    return pid;
}

bool recordInstancePid(const std::string& identity, DWORD pid)
{
    unique_hkey key;
    LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, kInstancePidKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    if (result == ERROR_SUCCESS)
        result = RegSetValueExA(key.get(), identity.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&pid),
                                sizeof(pid));
    if (result != ERROR_SUCCESS) {
        logError(L"instance pid not recorded (%d)", static_cast<int>(result));
        return false;
    }
    return true;
}

bool processImageMatches(DWORD pid, const std::string& identity)
{
    if (pid == 0 || identity.empty())
        return false;
    unique_handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process)
        return false;
    const std::wstring image = processImagePath(process.get());
    const std::wstring expected = widenAnsi(identity);
    if (samePathIgnoringCase(image, expected))
        return true;
    // The identity is an 8.3 form when the path has characters outside the ANSI code page.
    return samePathIgnoringCase(longPathName(image), longPathName(expected));
}

void enforceSingleInstance()
{
    const std::string identity = launcherIdentity();
    const bool globalNamespace = configInt(config_entry::kGlobalSingleInstance) != 0;

    if (configInt(config_entry::kSingleInstance) == 0) {
        InstanceSemaphore semaphore = createInstanceSemaphore(identity, globalNamespace, true);
        logSemaphore(semaphore);
        g_semaphoreName = semaphore.name;
        g_semaphore = std::move(semaphore.handle);
        return;
    }

    logLine(L"single instance mode");
    InstanceSemaphore semaphore = createInstanceSemaphore(identity, globalNamespace, false);
    logSemaphore(semaphore);
    g_semaphoreName = semaphore.name;
    if (semaphore.handle && semaphore.error == ERROR_ALREADY_EXISTS) {
        semaphore.handle.reset();
        const DWORD pid = waitForOtherInstancePid(identity);
        logLine(L"other pid %d", static_cast<int>(pid));
        if (pid != 0 && configInt(config_entry::kBringInstanceToFront) != 0)
            bringProcessWindowsToFront(pid, true);
        logLine(L"exiting");
        exitWithCleanup(0);
    }
    g_semaphore = std::move(semaphore.handle);
    recordInstancePid(identity, GetCurrentProcessId());
}

const std::string& instanceSemaphoreName()
{
    return g_semaphoreName;
}
