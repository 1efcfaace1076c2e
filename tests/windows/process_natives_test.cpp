// The Misc, Win32Exec and Win32Handle natives in-process. Every process they list, close or
// end is a window_child the test started itself; every file lies in the test's scratch
// folder. Suites named *Desktop* show windows and hold the display.
#include <windows.h>

#include <gtest/gtest.h>

#include <jni.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/system_reboot.h"
#include "natives/jni_conventions.h"
#include "natives/windows/process_listing.h"
#include "testing/deletion_run.h"
#include "testing/dialog_driver.h"
#include "testing/dialog_run.h"
#include "testing/launcher_builder.h"
#include "testing/natives_harness/natives_harness.h"
#include "testing/process_runner.h"

using namespace natives_harness;

namespace {

using ListNative = jobjectArray (*)(JNIEnv*, jobject);
using ModulesNative = jobjectArray (*)(JNIEnv*, jobject, jboolean);
using TerminateNative = jint (*)(JNIEnv*, jobject, jintArray, jboolean, jint);
using TitleNative = jstring (*)(JNIEnv*, jobject, jint);
using WindowsNative = jobjectArray (*)(JNIEnv*, jobject, jclass, jint);
using LaunchNative = jint (*)(JNIEnv*, jobject, jstring, jstring);
using CloseNative = jboolean (*)(JNIEnv*, jobject, jint);
using DeviceNative = jstring (*)(JNIEnv*, jobject, jstring);
using LongNative = jlong (*)(JNIEnv*, jobject);

constexpr jint kNotEnded = 0, kAllEnded = 1, kWaitFailed = 2, kTimedOut = 3;

std::wstring childProgram() { return testProgramDirectory() + L"\\window_child.exe"; }

RunningProcess startChild(const std::vector<std::wstring>& arguments, const std::wstring& program = childProgram())
{
    ProcessOptions options;
    options.arguments = arguments;
    // Windows go to the desktop bound to the test display, where this thread looks for them.
    if (arguments.front() == L"window")
        options.desktop = dialogDesktop();
    RunningProcess child = startProcess(program, options);
    EXPECT_TRUE(child.started()) << child.startError();
    return child;
}

HWND childWindow(const RunningProcess& child)
{
    return waitForWindowOfClass(child.processId(), L"SldkWindowChild", 20000, child.processHandle());
}

bool endsWithin(const RunningProcess& child, DWORD timeoutMs)
{
    return WaitForSingleObject(child.processHandle(), timeoutMs) == WAIT_OBJECT_0;
}

jint idOf(const RunningProcess& child) { return static_cast<jint>(child.processId()); }

jintArray pids(const std::vector<jint>& ids) { return static_cast<jintArray>(primitiveArray('I', ids)); }

std::vector<std::u16string> texts(jobject array)
{
    std::vector<std::u16string> values;
    for (jobject element : elementsOf(array))
        values.push_back(textOf(element).value_or(u"<null>"));
    return values;
}

bool endsWithIgnoringCase(const std::u16string& text, const std::wstring& tail)
{
    const std::wstring whole = toWide(text);
    return whole.size() >= tail.size() && _wcsicmp(whole.c_str() + whole.size() - tail.size(), tail.c_str()) == 0;
}

// The entry of the process in a listing; empty when it has none.
std::u16string entryOf(const std::vector<std::u16string>& entries, DWORD processId)
{
    const std::u16string prefix = toU16(std::to_wstring(processId) + L" ");
    for (const std::u16string& entry : entries)
        if (entry.rfind(prefix, 0) == 0)
            return entry;
    return u"";
}

class ProcessNatives : public testing::Test {
protected:
    void SetUp() override { registerProgramNatives(); }
    void TearDown() override { dropLocalReferences(); }

    static jint terminate(const std::vector<jint>& ids, bool forced, jint timeoutMs)
    {
        return call(boundNative<TerminateNative>("Misc", "terminateProcesses0"), pids(ids), forced, timeoutMs);
    }
    static jint launch(const std::wstring* application, const std::wstring& commandLine)
    {
        return call(boundNative<LaunchNative>("Win32Exec", "launch0"),
                    application ? javaString(toU16(*application)) : nullptr, javaString(toU16(commandLine)));
    }

    ScratchDirectory scratch_;
};

class ProcessDesktopNatives : public ProcessNatives {};

// The marker a window_child run leaves beside itself; empty until it has written it.
std::string markerOf(const std::wstring& program, DWORD timeoutMs)
{
    for (DWORD waited = 0;; waited += 50) {
        const std::string marker = readTextFile(program + L".ran");
        if (!marker.empty() || waited >= timeoutMs)
            return marker;
        Sleep(50);
    }
}

} // namespace

TEST_F(ProcessNatives, ListingsNameTheChildrenWithTheirPaths)
{
    RunningProcess child = startChild({L"wait"});
    // A program run from a ".tmp" copy is listed under that copy's path.
    const std::wstring tmpCopy = scratch_.file(L"child copy.tmp");
    ASSERT_TRUE(CopyFileW(childProgram().c_str(), tmpCopy.c_str(), FALSE));
    RunningProcess tmpChild = startChild({L"wait"}, tmpCopy);

    // A process just created may not show its modules yet.
    std::vector<std::u16string> listed;
    std::vector<std::u16string> snapshot;
    for (int attempt = 0; attempt < 50; ++attempt) {
        listed = texts(call(boundNative<ModulesNative>("Misc", "getRunningModules0"), JNI_TRUE));
        snapshot = processesBySnapshot();
        if (!entryOf(listed, tmpChild.processId()).empty() && !entryOf(snapshot, tmpChild.processId()).empty())
            break;
        Sleep(100);
    }
    for (const std::vector<std::u16string>* entries : {&listed, &snapshot}) {
        EXPECT_TRUE(endsWithIgnoringCase(entryOf(*entries, child.processId()), L"\\window_child.exe"))
            << toUtf8(toWide(entryOf(*entries, child.processId())));
        EXPECT_TRUE(endsWithIgnoringCase(entryOf(*entries, tmpChild.processId()), L"\\child copy.tmp"))
            << toUtf8(toWide(entryOf(*entries, tmpChild.processId())));
        for (const std::u16string& entry : *entries) {
            const size_t space = entry.find_first_not_of(u"0123456789");
            EXPECT_TRUE(space > 0 && space + 1 < entry.size() && entry[space] == u' ' && entry[space + 1] != u' ')
                << toUtf8(toWide(entry));
        }
    }

    // Every process handle and token opened for a listing is closed again.
    const auto modules = boundNative<ModulesNative>("Misc", "getRunningModules0");
    call(modules, JNI_FALSE);
    const size_t before = ownHandleCount();
    for (int i = 0; i < 20; ++i) {
        call(modules, i % 2 == 0 ? JNI_TRUE : JNI_FALSE);
        dropLocalReferences();
    }
    EXPECT_LE(ownHandleCount(), before + 5);
}

TEST_F(ProcessNatives, ForcedTerminationAndEmptyLists)
{
    RunningProcess first = startChild({L"wait"});
    RunningProcess second = startChild({L"wait"});
    EXPECT_EQ(terminate({idOf(first), idOf(second)}, true, 0),
              kAllEnded);
    EXPECT_TRUE(endsWithin(first, 10000));
    EXPECT_TRUE(endsWithin(second, 10000));
    DWORD exitCode = 1;
    EXPECT_TRUE(GetExitCodeProcess(first.processHandle(), &exitCode));
    EXPECT_EQ(exitCode, 0u);

    // Nothing to end: forced mode ended all of none, gentle mode has nothing to wait for. A
    // null array is an empty one.
    EXPECT_EQ(terminate({}, true, 100), kAllEnded);
    EXPECT_EQ(terminate({}, false, 100), kWaitFailed);
    const auto native = boundNative<TerminateNative>("Misc", "terminateProcesses0");
    EXPECT_EQ(call(native, nullptr, JNI_TRUE, 100), kAllEnded);
    EXPECT_EQ(call(native, nullptr, JNI_FALSE, 100), kWaitFailed);
}

TEST_F(ProcessDesktopNatives, GentleTerminationClosesWindowsAndWaits)
{
    RunningProcess closing = startChild({L"window", L"closing child"});
    RunningProcess refusing = startChild({L"window", L"refusing child", L"--refuse-close"});
    RunningProcess windowless = startChild({L"wait"});
    ASSERT_TRUE(childWindow(closing));
    ASSERT_TRUE(childWindow(refusing));
    const jint refusingId = idOf(refusing);

    // A process without a window answers 0 at once; the others still get their requests.
    EXPECT_EQ(terminate({idOf(closing), idOf(windowless)}, false, 5000),
              kNotEnded);
    EXPECT_TRUE(endsWithin(closing, 10000));
    EXPECT_FALSE(endsWithin(windowless, 0));

    EXPECT_EQ(terminate({refusingId}, false, 300), kTimedOut);
    // One wait takes 64 processes: 64 entries time out, 65 or 100 cannot be waited for.
    EXPECT_EQ(terminate(std::vector<jint>(64, refusingId), false, 200), kTimedOut);
    EXPECT_EQ(terminate(std::vector<jint>(65, refusingId), false, 200), kWaitFailed);
    EXPECT_EQ(terminate(std::vector<jint>(100, refusingId), false, 200), kWaitFailed);
    EXPECT_FALSE(endsWithin(refusing, 0));

    RunningProcess second = startChild({L"window", L"second child"});
    ASSERT_TRUE(childWindow(second));
    EXPECT_EQ(terminate({idOf(second)}, false, 10000), kAllEnded);
    EXPECT_TRUE(endsWithin(second, 0));
}

TEST_F(ProcessDesktopNatives, WindowsOfAProcess)
{
    RunningProcess child = startChild({L"window", L"sldk window child"});
    HWND window = childWindow(child);
    ASSERT_TRUE(window);
    const jint childId = idOf(child);
    const auto topLevel = boundNative<WindowsNative>("Misc", "getTopLevelWindows0");
    const auto title = boundNative<TitleNative>("Misc", "getWindowTitle0");

    // The visible titled window, not the hidden titled one or the owned one without a title.
    EXPECT_EQ(textOf(call(title, childId)), u"sldk window child");
    const jclass infoClass = env()->FindClass(kWindowInfoClass.name);
    const std::vector<jobject> infos = elementsOf(call(topLevel, infoClass, childId));
    ASSERT_EQ(infos.size(), 1u);
    ASSERT_EQ(classNameOf(infos[0]), kWindowInfoClass.name);
    const std::vector<jvalue> fields = constructorArguments(infos[0]);
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(fields[0].j, handleToJava(window));
    EXPECT_EQ(static_cast<LONG_PTR>(fields[1].i), GetWindowLongPtrW(window, GWL_STYLE));
    EXPECT_TRUE(fields[1].i & WS_VISIBLE);
    EXPECT_EQ(textOf(fields[2].l), u"SldkWindowChild");
    EXPECT_EQ(textOf(fields[3].l), u"sldk window child");

    failCall("NewObjectA", 0);
    EXPECT_EQ(call(topLevel, infoClass, childId), nullptr);
    EXPECT_TRUE(exceptionPending());
    clearException();
    failCall("", 0);

    // Without a class, or with one lacking the constructor, there is nothing to build.
    EXPECT_EQ(call(topLevel, nullptr, childId), nullptr);
    // The VM's NoSuchMethodError stays for the Java caller.
    const jclass objectClass = env()->FindClass("java/lang/Object");
    const auto [infosWithoutConstructor, leftPending] = callCode([&] {
        const jobjectArray result = topLevel(env(), detail::receiver(), objectClass, childId);
        const bool pending = exceptionPending();
        clearException();
        return std::make_pair(result, pending);
    });
    EXPECT_EQ(infosWithoutConstructor, nullptr);
    EXPECT_TRUE(leftPending);

    // A process with no windows: no title, no descriptions.
    RunningProcess windowless = startChild({L"wait"});
    EXPECT_EQ(textOf(call(title, idOf(windowless))), u"");
    EXPECT_EQ(call(topLevel, infoClass, idOf(windowless)), nullptr);

    // The only visible unowned window has no title: its slot stays empty.
    RunningProcess untitled = startChild({L"window", L""});
    ASSERT_TRUE(childWindow(untitled));
    const std::vector<jobject> untitledInfos = elementsOf(call(topLevel, infoClass, idOf(untitled)));
    ASSERT_EQ(untitledInfos.size(), 1u);
    EXPECT_EQ(untitledInfos[0], nullptr);
}

TEST_F(ProcessDesktopNatives, ForegroundRestoresAMinimisedWindowAndTheBroadcastReturns)
{
    RunningProcess child = startChild({L"window", L"foreground child"});
    HWND window = childWindow(child);
    ASSERT_TRUE(window);
    ShowWindow(window, SW_MINIMIZE);
    for (int i = 0; i < 100 && !IsIconic(window); ++i)
        Sleep(20);
    ASSERT_TRUE(IsIconic(window));
    call(boundNative<void (*)(JNIEnv*, jobject, jlong)>("Misc", "setForegroundWindow0"), handleToJava(window));
    EXPECT_FALSE(IsIconic(window));

    const ULONGLONG started = GetTickCount64();
    call(boundNative<void (*)(JNIEnv*, jobject)>("Misc", "broadcastSettingChange0"));
    call(boundNative<void (*)(JNIEnv*, jobject)>("Misc", "toFront0"));
    EXPECT_LT(GetTickCount64() - started, 6000u);
    EXPECT_FALSE(endsWithin(child, 0));
}

TEST_F(ProcessNatives, LaunchRunsTheNamedProgramOnly)
{
    // An unquoted path with a space, and a program planted where the first word ends.
    const std::wstring spaced = scratch_.subdirectory(L"dir with space");
    const std::wstring wanted = spaced + L"\\t.exe";
    const std::wstring planted = scratch_.file(L"dir.exe");
    ASSERT_TRUE(CopyFileW(childProgram().c_str(), wanted.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(childProgram().c_str(), planted.c_str(), FALSE));

    EXPECT_EQ(launch(nullptr, wanted), 0);
    EXPECT_FALSE(markerOf(wanted, 15000).empty());
    EXPECT_TRUE(markerOf(planted, 500).empty());

    // With an application name the command line goes as given; failures are error codes.
    const std::wstring named = scratch_.file(L"named.exe");
    ASSERT_TRUE(CopyFileW(childProgram().c_str(), named.c_str(), FALSE));
    EXPECT_EQ(launch(&named, L"named marker"), 0);
    EXPECT_NE(markerOf(named, 15000).find("named marker"), std::string::npos);
    EXPECT_EQ(launch(nullptr, scratch_.file(L"missing.exe")), ERROR_FILE_NOT_FOUND);
}

TEST_F(ProcessNatives, LaunchKeepsNoHandles)
{
    const std::wstring quiet = quoteArgument(childProgram()) + L" quiet";
    ASSERT_EQ(launch(nullptr, quiet), 0);
    const size_t before = ownHandleCount();
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(launch(nullptr, quiet), 0);
    EXPECT_LE(ownHandleCount(), before + 10);
}

TEST_F(ProcessNatives, HandleListNamesOurOpenFilesOnly)
{
    // Opened for reading: the names of handles with full read and write access are not
    // asked for, since that query can block on some of them.
    const std::wstring path = scratch_.file(L"held open.txt");
    ASSERT_TRUE(writeTextFile(path, "held"));
    unique_file file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    unique_handle pipeRead, pipeWrite;
    ASSERT_TRUE(CreatePipe(pipeRead.put(), pipeWrite.put(), nullptr, 0));
    unique_handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));

    const std::vector<jobject> list = elementsOf(call(boundNative<ListNative>("Win32Handle", "list0")));
    ASSERT_EQ(list.size(), 2u);
    const std::vector<unsigned char> bytes = primitiveBytes(list[0]);
    std::vector<jint> values(bytes.size() / sizeof(jint));
    memcpy(values.data(), bytes.data(), values.size() * sizeof(jint));
    const std::vector<std::u16string> names = texts(list[1]);
    ASSERT_EQ(values.size(), names.size());
    const auto valueOf = [](const unique_handle& handle) { return static_cast<jint>(handleToJava(handle.get())); };
    const jint fileValue = static_cast<jint>(handleToJava(file.get()));
    const auto at = std::find(values.begin(), values.end(), fileValue);
    ASSERT_NE(at, values.end());
    // "C:" stands for a device in the object names.
    EXPECT_TRUE(endsWithIgnoringCase(names[static_cast<size_t>(at - values.begin())], path.substr(2)))
        << toUtf8(toWide(names[static_cast<size_t>(at - values.begin())]));
    for (const jint other : {valueOf(pipeRead), valueOf(pipeWrite), valueOf(event)})
        EXPECT_EQ(std::count(values.begin(), values.end(), other), 0);

    const auto close = boundNative<CloseNative>("Win32Handle", "close0");
    EXPECT_TRUE(call(close, fileValue));
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(file.release(), &flags));
    EXPECT_FALSE(call(close, fileValue));
    EXPECT_FALSE(call(close, -1));
}

TEST_F(ProcessNatives, DeviceNamesOfLinks)
{
    const auto device = boundNative<DeviceNative>("Win32Handle", "getDeviceName0");
    const std::optional<std::u16string> drive = textOf(call(device, javaString(u"\\??\\C:")));
    ASSERT_TRUE(drive);
    EXPECT_EQ(drive->rfind(u"\\Device\\", 0), 0u) << toUtf8(toWide(*drive));
    const std::u16string unknown = toU16(L"\\??\\sldk-no-such-link-" + std::to_wstring(GetCurrentProcessId()));
    for (jstring name : {static_cast<jstring>(nullptr), javaString(unknown), javaString(u"C:"),
                         javaString(std::u16string(40000, u'x'))})
        EXPECT_EQ(call(device, name), nullptr);

    // The link is closed whether its target was read or not.
    const size_t before = ownHandleCount();
    for (int i = 0; i < 50; ++i) {
        call(device, javaString(u"\\??\\C:"));
        call(device, javaString(unknown));
        dropLocalReferences();
    }
    EXPECT_LE(ownHandleCount(), before + 5);
}

TEST_F(ProcessNatives, FailedJniCallsEndTheNatives)
{
    // Each text the VM cannot make ends the native with null and its exception pending.
    struct Case {
        const char* slot;
        int callsBefore;
        const char* className;
        const char* method;
    };
    for (const Case& c : {Case{"NewString", 2, "Misc", "getEnvVarPairs0"}, Case{"NewObjectArray", 0, "Misc", "getEnvVarPairs0"},
                          Case{"New<Type>Array", 0, "Win32Handle", "list0"}, Case{"NewString", 0, "Win32Handle", "list0"},
                          Case{"NewObjectArray", 1, "Win32Handle", "list0"}}) {
        failCall(c.slot, c.callsBefore);
        EXPECT_EQ(call(boundNative<ListNative>(c.className, c.method)), nullptr) << c.method << " " << c.slot;
        EXPECT_TRUE(exceptionPending()) << c.method << " " << c.slot;
        clearException();
        failCall("", 0);
        dropLocalReferences();
    }
    // A long environment never holds more than a few local references at once.
    for (int i = 0; i < 100; ++i)
        SetEnvironmentVariableW((L"SLDK_MANY_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(i)).c_str(),
                                L"x");
    dropLocalReferences();
    EXPECT_GT(elementsOf(call(boundNative<ListNative>("Misc", "getEnvVarPairs0"))).size(), 100u);
    EXPECT_LE(peakLocalReferences(), 8u);
    for (int i = 0; i < 100; ++i)
        SetEnvironmentVariableW((L"SLDK_MANY_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(i)).c_str(),
                                nullptr);
}

TEST_F(ProcessNatives, SystemFigures)
{
    const std::wstring name = L"SLDK_PAIR_" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(SetEnvironmentVariableW(name.c_str(), L"a=b c"));
    const std::vector<std::u16string> pairs = texts(call(boundNative<ListNative>("Misc", "getEnvVarPairs0")));
    EXPECT_EQ(std::count(pairs.begin(), pairs.end(), toU16(name + L"=a=b c")), 1);
    SetEnvironmentVariableW(name.c_str(), nullptr);

    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    ASSERT_TRUE(GlobalMemoryStatusEx(&memory));
    EXPECT_EQ(call(boundNative<LongNative>("Misc", "getPhysicalMemory0")), static_cast<jlong>(memory.ullTotalPhys));

    const auto freeSpace = boundNative<jlong (*)(JNIEnv*, jobject, jstring)>("Misc", "getFreeDiskSpace0");
    EXPECT_GT(call(freeSpace, javaString(toU16(scratch_.path()))), 0);
    EXPECT_EQ(call(freeSpace, javaString(toU16(scratch_.file(L"missing\\deeper")))), -1);

    RunningProcess child = startChild({L"wait"});
    const auto pidOf = boundNative<jint (*)(JNIEnv*, jobject, jlong)>("Misc", "getPidFromHandle0");
    EXPECT_EQ(call(pidOf, handleToJava(child.processHandle())), idOf(child));
    EXPECT_EQ(call(pidOf, jlong{0}), 0);
}

TEST_F(ProcessNatives, DelayedDeletionAndRebootGoThroughTheSystem)
{
    const std::wstring doomed = scratch_.file(L"delete at the next start.txt");
    ASSERT_TRUE(writeTextFile(doomed, "x"));
    const auto move = boundNative<jboolean (*)(JNIEnv*, jobject, jstring, jstring)>("Misc", "moveWithDelayUntilReboot0");
    EXPECT_TRUE(call(move, javaString(toU16(doomed)), nullptr));
    EXPECT_TRUE(isPendingRebootDeletion(doomed));
    forgetPendingRebootDeletions(scratch_.path());
    EXPECT_FALSE(call(move, nullptr, nullptr));

    static std::vector<std::pair<UINT, DWORD>> restarts;
    restarts.clear();
    const RestartCall previous = replaceRestartCall([](UINT flags, DWORD reason) -> BOOL {
        restarts.emplace_back(flags, reason);
        return TRUE;
    });
    call(boundNative<void (*)(JNIEnv*, jobject)>("Misc", "reboot0"));
    replaceRestartCall(previous);
    EXPECT_EQ(restarts, (std::vector<std::pair<UINT, DWORD>>{{EWX_REBOOT, 0}}));
}
