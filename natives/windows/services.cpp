// The natives of the Win32Services class: each opens the service manager and the service,
// does one operation and answers in-band: 0, a negated query answer, 5000 when there is no
// manager, 50001 and 50002 for a stop that does not complete, or the Windows error code.
#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/base/late_binding.h"
#include "launchcore/windows/base/wide_format.h"
#include "natives/service_rules.h"
#include "natives/windows/native_export.h"

namespace {

constexpr DWORD kConfigBytes = 8192;
// What the natives answer when copying an argument failed; the exception the VM raised
// then stays pending, and the Java side sees that instead.
constexpr jint kConversionFailed = ERROR_NOT_ENOUGH_MEMORY;

const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

using ChangeConfig2Function = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPVOID);

ChangeConfig2Function changeConfig2()
{
    static const auto function = lateBound<ChangeConfig2Function>(L"advapi32.dll", "ChangeServiceConfig2W");
    return function;
}

// Opens the manager and the service and runs the operation on the service; a missing
// service name is refused before the manager is asked.
template <typename Operation>
jint onService(const JavaText& name, DWORD managerAccess, DWORD serviceAccess, Operation operation)
{
    if (!name.ok())
        return kConversionFailed;
    if (name.isNull())
        return ERROR_INVALID_PARAMETER;
    const unique_sc_handle manager(OpenSCManagerW(nullptr, nullptr, managerAccess));
    if (!manager)
        return kServiceManagerUnavailable;
    const unique_sc_handle service(OpenServiceW(manager.get(), name.wide(), serviceAccess));
    if (!service)
        return static_cast<jint>(GetLastError());
    return operation(service.get());
}

jint lastError() { return static_cast<jint>(GetLastError()); }

// The binary path as it is registered: quoted when it is one existing file whose unquoted
// spaces would let the manager run another program first. Anything else may carry arguments
// and is left alone.
std::u16string imagePath(std::u16string_view path)
{
    if (imagePathMayNeedQuotes(path)) {
        const std::u16string file(path);
        const DWORD attributes = GetFileAttributesW(wide(file));
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return quotedImagePath(path);
    }
    return std::u16string(path);
}

// The configuration the manager reports, in a buffer of the fixed size; its error otherwise.
jint queryConfig(SC_HANDLE service, BYTE* buffer, const QUERY_SERVICE_CONFIGW*& config)
{
    DWORD needed = 0;
    config = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer);
    return QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer), kConfigBytes, &needed)
               ? 0
               : lastError();
}

} // namespace

SLDK_NATIVE_EXPORT(jint, Win32Services, installService0)
(JNIEnv* env, jobject, jstring serviceName, jstring displayName, jstring binaryPath)
{
    const JavaText name(env, serviceName);
    const JavaText display(env, displayName);
    const JavaText binary(env, binaryPath);
    if (!name.ok() || !display.ok() || !binary.ok())
        return kConversionFailed;
    if (name.isNull())
        return ERROR_INVALID_PARAMETER;
    const unique_sc_handle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        return kServiceManagerUnavailable;
    const std::u16string path = imagePath(binary.view());
    const unique_sc_handle service(CreateServiceW(manager.get(), name.wide(), display.wide(), SERVICE_ALL_ACCESS,
                                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                  SERVICE_ERROR_NORMAL, binary.isNull() ? nullptr : wide(path),
                                                  nullptr, nullptr, nullptr, nullptr, nullptr));
    return service ? 0 : lastError();
}

SLDK_NATIVE_EXPORT(jint, Win32Services, changeServiceConfig0)
(JNIEnv* env, jobject, jstring serviceName, jstring displayName, jstring binaryPath, jint serviceType, jint startType,
 jstring dependencyNames, jstring accountName, jstring accountPassword, jstring descriptionText)
{
    const JavaText name(env, serviceName);
    const JavaText display(env, displayName);
    const JavaText binary(env, binaryPath);
    const JavaText dependencies(env, dependencyNames);
    const JavaText account(env, accountName);
    // Wiped when the copy is freed; it is never copied again here.
    const JavaText password(env, accountPassword);
    const JavaText description(env, descriptionText);
    for (const JavaText* text : {&name, &display, &binary, &dependencies, &account, &password, &description})
        if (!text->ok())
            return kConversionFailed;
    return onService(name, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS, [&](SC_HANDLE service) -> jint {
        const std::optional<std::u16string> list = dependencyListForChange(dependencies.view());
        if (!list)
            return ERROR_INSUFFICIENT_BUFFER;
        const std::u16string mappedAccount(serviceAccount(account.view()));
        const std::u16string path = imagePath(binary.view());
        if (!ChangeServiceConfigW(service, static_cast<DWORD>(serviceType), static_cast<DWORD>(startType),
                                  SERVICE_NO_CHANGE, binary.isNull() ? nullptr : wide(path), nullptr, nullptr,
                                  wide(*list), account.isNull() ? nullptr : wide(mappedAccount), password.wide(),
                                  display.wide()))
            return lastError();
        if (!description.isNull()) {
            // The description is a nicety: the configuration above stands without it.
            SERVICE_DESCRIPTIONW info{const_cast<wchar_t*>(description.wide())};
            if (const ChangeConfig2Function change = changeConfig2())
                change(service, SERVICE_CONFIG_DESCRIPTION, &info);
        }
        return 0;
    });
}

SLDK_NATIVE_EXPORT(jint, Win32Services, setRestartServiceConfig0)
(JNIEnv* env, jobject, jstring serviceName, jboolean restart, jint delayMs)
{
    const JavaText name(env, serviceName);
    // The program imports advapi32, so this never happens; without it nothing would be done.
    if (!GetModuleHandleW(L"advapi32.dll"))
        return 0;
    const ChangeConfig2Function change = changeConfig2();
    if (!change)
        return ERROR_INVALID_FUNCTION;
    // A restart action needs SERVICE_START on the service as well.
    return onService(name, SC_MANAGER_ALL_ACCESS, SERVICE_CHANGE_CONFIG | SERVICE_START, [&](SC_HANDLE service) {
        SC_ACTION action{SC_ACTION_RESTART, static_cast<DWORD>(delayMs)};
        // No actions with a non-null array is what clears the configured ones; a null array
        // would leave them as they are.
        SERVICE_FAILURE_ACTIONSW actions{0, nullptr, nullptr, restart ? 1u : 0u, &action};
        return change(service, SERVICE_CONFIG_FAILURE_ACTIONS, &actions) ? 0 : lastError();
    });
}

SLDK_NATIVE_EXPORT(jint, Win32Services, setDelayedAutoStart0)(JNIEnv* env, jobject, jstring serviceName, jboolean delayed)
{
    const JavaText name(env, serviceName);
    const ChangeConfig2Function change = changeConfig2();
    if (!change)
        return ERROR_INVALID_FUNCTION;
    return onService(name, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS, [&](SC_HANDLE service) {
        SERVICE_DELAYED_AUTO_START_INFO info{delayed ? TRUE : FALSE};
        return change(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info) ? 0 : lastError();
    });
}

SLDK_NATIVE_EXPORT(jint, Win32Services, stopService0)(JNIEnv* env, jobject, jstring serviceName, jint timeoutMs)
{
    const JavaText name(env, serviceName);
    return onService(name, SC_MANAGER_CONNECT, SERVICE_STOP | SERVICE_QUERY_STATUS, [&](SC_HANDLE service) -> jint {
        SERVICE_STATUS status{};
        if (!ControlService(service, SERVICE_CONTROL_STOP, &status))
            return lastError();
        ServiceStopWaitLayer layer;
        layer.query = [service](ServiceProgress& progress) {
            SERVICE_STATUS current{};
            if (!QueryServiceStatus(service, &current))
                return false;
            progress = {current.dwCurrentState, current.dwCheckPoint, current.dwWaitHint};
            return true;
        };
        layer.now = [] { return static_cast<uint32_t>(GetTickCount()); };
        layer.sleep = [](uint32_t ms) { Sleep(ms); };
        // A negative timeout counts as a very long one.
        return waitForServiceStopped(layer, static_cast<uint32_t>(timeoutMs));
    });
}

SLDK_NATIVE_EXPORT(jint, Win32Services, startService0)(JNIEnv* env, jobject, jstring serviceName, jobjectArray arguments)
{
    const JavaText name(env, serviceName);
    if (!name.ok())
        return kConversionFailed;
    std::vector<std::optional<std::u16string>> texts;
    if (arguments && !readStringArray(env, arguments, texts))
        return exceptionPending(env) ? kConversionFailed : ERROR_INVALID_PARAMETER;
    std::vector<const wchar_t*> vector;
    for (const auto& text : texts) {
        // The manager would hand the service a null argument.
        if (!text)
            return ERROR_INVALID_PARAMETER;
        vector.push_back(wide(*text));
    }
    return onService(name, SC_MANAGER_CONNECT, SERVICE_START, [&](SC_HANDLE service) {
        return StartServiceW(service, static_cast<DWORD>(vector.size()), vector.empty() ? nullptr : vector.data())
                   ? 0
                   : lastError();
    });
}

SLDK_NATIVE_EXPORT(jint, Win32Services, uninstallService0)(JNIEnv* env, jobject, jstring serviceName)
{
    const JavaText name(env, serviceName);
    return onService(name, SC_MANAGER_ALL_ACCESS, DELETE,
                     [](SC_HANDLE service) { return DeleteService(service) ? 0 : lastError(); });
}

SLDK_NATIVE_EXPORT(jint, Win32Services, queryStatus0)(JNIEnv* env, jobject, jstring serviceName)
{
    const JavaText name(env, serviceName);
    return onService(name, SC_MANAGER_CONNECT, SERVICE_QUERY_STATUS, [](SC_HANDLE service) -> jint {
        SERVICE_STATUS status{};
        if (!QueryServiceStatus(service, &status))
            return lastError();
        return -static_cast<jint>(status.dwCurrentState);
    });
}

SLDK_NATIVE_EXPORT(jint, Win32Services, getStartType0)(JNIEnv* env, jobject, jstring serviceName)
{
    const JavaText name(env, serviceName);
    return onService(name, SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG, [](SC_HANDLE service) -> jint {
        alignas(QUERY_SERVICE_CONFIGW) BYTE buffer[kConfigBytes];
        const QUERY_SERVICE_CONFIGW* config = nullptr;
        if (const jint error = queryConfig(service, buffer, config))
            return error;
        return -static_cast<jint>(config->dwStartType);
    });
}

SLDK_NATIVE_EXPORT(jstring, Win32Services, getServiceBinary0)(JNIEnv* env, jobject, jstring serviceName)
{
    const JavaText name(env, serviceName);
    std::wstring path;
    const jint error = onService(name, SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG, [&](SC_HANDLE service) -> jint {
        alignas(QUERY_SERVICE_CONFIGW) BYTE buffer[kConfigBytes];
        const QUERY_SERVICE_CONFIGW* config = nullptr;
        if (const jint failed = queryConfig(service, buffer, config))
            return failed;
        path = config->lpBinaryPathName ? config->lpBinaryPathName : L"";
        return 0;
    });
    if (error == kConversionFailed && exceptionPending(env))
        return nullptr;
    return newJavaString(env, error ? formatWide(L" %d", static_cast<int>(error)) : path);
}
