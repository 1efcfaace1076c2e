// The natives of the Misc class: the restart, the process list, the environment and its
// change notice, memory and disk space, the move at the next start, and the processes and
// windows the installer brings forward or ends because they hold files it must replace.
//
// The window enumerations keep their per-call state in the enumeration's parameter, so
// calls on different threads never share it.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "launchcore/windows/base/console_output.h"
#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/base/late_binding.h"
#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/system_reboot.h"
#include "natives/windows/native_export.h"
#include "natives/windows/privilege_switch.h"
#include "natives/windows/process_listing.h"

namespace {

constexpr int kWindowTextUnits = 4096;

// What terminateProcesses0 answers.
enum TerminationStatus : jint { kNotEnded = 0, kAllEnded = 1, kWaitFailed = 2, kTimedOut = 3 };

// Calls visit(window) for the top-level windows in enumeration order until it returns false.
template <typename Visit>
void forEachTopLevelWindow(Visit visit)
{
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL { return (*reinterpret_cast<Visit*>(context))(window) ? TRUE : FALSE; },
        reinterpret_cast<LPARAM>(&visit));
}

DWORD processOf(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

std::wstring windowTitle(HWND window)
{
    wchar_t text[kWindowTextUnits];
    const int length = GetWindowTextW(window, text, kWindowTextUnits);
    return std::wstring(text, length > 0 ? static_cast<size_t>(length) : 0);
}

// The ids of a pid array; a null array holds none. False when the VM failed to hand them
// over (an exception is then pending).
bool readProcessIds(JNIEnv* env, jintArray array, std::vector<DWORD>& ids)
{
    if (!array)
        return true;
    const jsize length = env->GetArrayLength(array);
    if (exceptionPending(env) || length < 0)
        return false;
    std::vector<jint> values(static_cast<size_t>(length));
    if (length > 0) {
        env->GetIntArrayRegion(array, 0, length, values.data());
        if (exceptionPending(env))
            return false;
    }
    ids.assign(values.begin(), values.end());
    return true;
}

jint terminateForcibly(const std::vector<DWORD>& ids)
{
    jint status = kAllEnded;
    for (const DWORD id : ids) {
        unique_handle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
        if (!process || !TerminateProcess(process.get(), 0))
            status = kNotEnded;
    }
    return status;
}

jint closeAndWait(const std::vector<DWORD>& ids, DWORD timeoutMs)
{
    jint status = kAllEnded;
    std::vector<bool> seen(ids.size(), false);
    forEachTopLevelWindow([&](HWND window) {
        if (!IsWindowVisible(window))
            return true;
        const DWORD owner = processOf(window);
        for (size_t i = 0; i < ids.size(); ++i) {
            if (ids[i] != owner)
                continue;
            seen[i] = true;
            if (!PostMessageW(window, WM_CLOSE, 0, 0))
                status = kNotEnded;
        }
        return true;
    });
    for (const bool wasSeen : seen)
        if (!wasSeen)
            status = kNotEnded;
    if (status == kNotEnded)
        return status;

    std::vector<unique_handle> processes;
    processes.reserve(ids.size());
    for (const DWORD id : ids) {
        unique_handle process(OpenProcess(SYNCHRONIZE, FALSE, id));
        if (process)
            processes.push_back(std::move(process));
        else
            status = kWaitFailed;
    }
    if (status != kAllEnded)
        return status;
    // One wait takes at most MAXIMUM_WAIT_OBJECTS handles, and an empty list none.
    if (processes.empty() || processes.size() > MAXIMUM_WAIT_OBJECTS)
        return kWaitFailed;
    std::vector<HANDLE> waited;
    waited.reserve(processes.size());
    for (const unique_handle& process : processes)
        waited.push_back(process.get());
    const DWORD count = static_cast<DWORD>(waited.size());
    const DWORD result = WaitForMultipleObjects(count, waited.data(), TRUE, timeoutMs);
    if (result == WAIT_TIMEOUT)
        return kTimedOut;
    return result < WAIT_OBJECT_0 + count ? kAllEnded : kWaitFailed;
}

} // namespace

SLDK_NATIVE_EXPORT(void, Misc, reboot0)(JNIEnv*, jobject) { rebootSystem(); }

SLDK_NATIVE_EXPORT(jobjectArray, Misc, getRunningModules0)(JNIEnv* env, jobject, jboolean withoutDebugPrivilege)
{
    // Other users' processes are listed only with the debug privilege; failing to switch
    // it is not an error, the list is just shorter.
    switchPrivilege(L"SeDebugPrivilege", !withoutDebugPrivilege);
    std::vector<std::u16string> entries = processesByStatusFunctions();
    if (entries.empty())
        entries = processesBySnapshot();
    if (entries.empty())
        return nullptr;
    return newStringArray(env, entries);
}

SLDK_NATIVE_EXPORT(jobjectArray, Misc, getEnvVarPairs0)(JNIEnv* env, jobject)
{
    wchar_t* block = GetEnvironmentStringsW();
    if (!block)
        return nullptr;
    on_scope_exit freeBlock([block] { FreeEnvironmentStringsW(block); });
    std::vector<std::u16string> pairs;
    for (const wchar_t* pair = block; *pair; pair += wcslen(pair) + 1)
        pairs.push_back(toU16(pair));
    return newStringArray(env, pairs);
}

SLDK_NATIVE_EXPORT(void, Misc, broadcastSettingChange0)(JNIEnv*, jobject)
{
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
                        SMTO_ABORTIFHUNG, 5000, &answer);
}

SLDK_NATIVE_EXPORT(jlong, Misc, getPhysicalMemory0)(JNIEnv*, jobject)
{
    using MemoryStatusFunction = BOOL(WINAPI*)(MEMORYSTATUSEX*);
    if (const auto status = lateBound<MemoryStatusFunction>(L"kernel32.dll", "GlobalMemoryStatusEx")) {
        MEMORYSTATUSEX memory{};
        memory.dwLength = sizeof memory;
        if (status(&memory))
            return static_cast<jlong>(memory.ullTotalPhys);
        printConsole("error %d\n", static_cast<int>(GetLastError()));
    }
    MEMORYSTATUS memory{};
    memory.dwLength = sizeof memory;
    GlobalMemoryStatus(&memory);
    return static_cast<jlong>(memory.dwTotalPhys);
}

SLDK_NATIVE_EXPORT(jlong, Misc, getFreeDiskSpace0)(JNIEnv* env, jobject, jstring directory)
{
    const JavaText path(env, directory);
    ULARGE_INTEGER available{};
    if (!path.ok() || !GetDiskFreeSpaceExW(path.wide(), &available, nullptr, nullptr))
        return -1;
    return static_cast<jlong>(available.QuadPart);
}

SLDK_NATIVE_EXPORT(jboolean, Misc, moveWithDelayUntilReboot0)(JNIEnv* env, jobject, jstring source, jstring target)
{
    using MoveFunction = BOOL(WINAPI*)(const wchar_t*, const wchar_t*, DWORD);
    static const MoveFunction move = lateBound<MoveFunction>(L"kernel32.dll", "MoveFileExW");
    const JavaText from(env, source);
    const JavaText to(env, target);
    if (!move || !from.ok() || !to.ok())
        return JNI_FALSE;
    return toJavaBoolean(move(from.wide(), to.wide(), MOVEFILE_DELAY_UNTIL_REBOOT));
}

SLDK_NATIVE_EXPORT(void, Misc, toFront0)(JNIEnv*, jobject)
{
    const DWORD own = GetCurrentProcessId();
    forEachTopLevelWindow([own](HWND window) {
        if (processOf(window) == own && IsWindowVisible(window)) {
            SetForegroundWindow(window);
            SetForegroundWindow(GetLastActivePopup(window));
        }
        return true;
    });
}

SLDK_NATIVE_EXPORT(jint, Misc, terminateProcesses0)(JNIEnv* env, jobject, jintArray processIds, jboolean forced,
                                                   jint timeoutMs)
{
    std::vector<DWORD> ids;
    if (!readProcessIds(env, processIds, ids))
        return kNotEnded;
    return forced ? terminateForcibly(ids) : closeAndWait(ids, static_cast<DWORD>(timeoutMs));
}

SLDK_NATIVE_EXPORT(jstring, Misc, getWindowTitle0)(JNIEnv* env, jobject, jint processId)
{
    std::wstring title;
    forEachTopLevelWindow([&](HWND window) {
        if (processOf(window) != static_cast<DWORD>(processId))
            return true;
        std::wstring text = windowTitle(window);
        if (text.empty())
            return true;
        title = std::move(text);
        return !IsWindowVisible(window);
    });
    return newJavaString(env, title);
}

SLDK_NATIVE_EXPORT(void, Misc, setForegroundWindow0)(JNIEnv*, jobject, jlong windowValue)
{
    HWND window = handleFromJava<HWND>(windowValue);
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (GetWindowPlacement(window, &placement) && placement.showCmd == SW_SHOWMINIMIZED)
        ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}

SLDK_NATIVE_EXPORT(jobjectArray, Misc, getTopLevelWindows0)(JNIEnv* env, jobject, jclass infoClass, jint processId)
{
    if (!infoClass)
        return nullptr;
    std::vector<HWND> windows;
    forEachTopLevelWindow([&](HWND window) {
        if (processOf(window) == static_cast<DWORD>(processId) && !GetWindow(window, GW_OWNER) &&
            IsWindowVisible(window))
            windows.push_back(window);
        return true;
    });
    if (windows.empty())
        return nullptr;
    const jmethodID constructor = env->GetMethodID(infoClass, "<init>", kWindowInfoClass.constructor);
    if (!constructor || exceptionPending(env)) {
        writeConsoleBytes(stderr, "window info constructor not found");
        return nullptr;
    }
    LocalRef<jobjectArray> infos(env, env->NewObjectArray(static_cast<jsize>(windows.size()), infoClass, nullptr));
    if (!infos || exceptionPending(env)) {
        writeConsoleBytes(stderr, "could not create window info array");
        return nullptr;
    }
    jsize filled = 0;
    for (HWND window : windows) {
        const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
        wchar_t className[kWindowTextUnits];
        const int classLength = GetClassNameW(window, className, kWindowTextUnits);
        const std::wstring title = windowTitle(window);
        if (style == 0 || classLength <= 0 || title.empty())
            continue;
        LocalRef<jstring> classText(env, newJavaString(env, std::wstring_view(className, classLength)));
        if (!classText)
            return nullptr;
        LocalRef<jstring> titleText(env, newJavaString(env, title));
        if (!titleText)
            return nullptr;
        jvalue arguments[4];
        arguments[0].j = handleToJava(window);
        arguments[1].i = static_cast<jint>(style);
        arguments[2].l = classText.get();
        arguments[3].l = titleText.get();
        LocalRef<jobject> info(env, env->NewObjectA(infoClass, constructor, arguments));
        if (!info || exceptionPending(env))
            return nullptr;
        env->SetObjectArrayElement(infos.get(), filled++, info.get());
        if (exceptionPending(env))
            return nullptr;
    }
    return infos.release();
}

SLDK_NATIVE_EXPORT(jint, Misc, getPidFromHandle0)(JNIEnv*, jobject, jlong process)
{
    return static_cast<jint>(GetProcessId(handleFromJava<HANDLE>(process)));
}
