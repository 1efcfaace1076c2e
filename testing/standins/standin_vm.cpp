// The stand-in VM's invocation interface (JNI_CreateJavaVM and the JavaVM table), the trace
// file and the end of a run that broke the rules: what only jvm.dll has.
//
// Knobs read from the environment: SLDK_TRACE (the trace file), SLDK_JVM_CREATE_FAIL=1
// (JNI_CreateJavaVM answers JNI_ERR). The Java-side knobs are in standin_world.cpp.
//
// A service is started by the service manager with its environment, not a test's, so every
// knob can also come as a VM option: "-Dsldk.<name>=<value>" sets SLDK_<NAME> (upper-cased)
// before anything reads it, for example "-Dsldk.trace=<file>" or "-Dsldk.jvm_exit=1". With
// "-Dvexon.isService=true" main waits for its stop line as with SLDK_JVM_WAIT_STDIN=1,
// unless that knob is set otherwise.
#define _JNI_IMPLEMENTATION_
#include "standin_vm.h"

#include <cstdio>
#include <cstring>

namespace standin {
namespace {

JavaVM g_vm{};
bool g_created = false;

std::wstring g_traceFile;
bool g_traceFileRead = false;

jint JNICALL DestroyJavaVM(JavaVM*)
{
    if (pendingException())
        fail("DestroyJavaVM with exception pending");
    trace("destroy");
    return JNI_OK;
}

jint JNICALL AttachCurrentThread(JavaVM*, void** env, void*)
{
    *env = environment();
    return JNI_OK;
}

jint JNICALL DetachCurrentThread(JavaVM*) { return JNI_OK; }

jint JNICALL GetEnv(JavaVM*, void** env, jint version)
{
    if (!g_created) {
        *env = nullptr;
        return JNI_EDETACHED;
    }
    if (version < JNI_VERSION_1_1 || version > JNI_VERSION_1_8) {
        *env = nullptr;
        return JNI_EVERSION;
    }
    *env = environment();
    return JNI_OK;
}

const JNIInvokeInterface_ g_invokeTable = [] {
    JNIInvokeInterface_ table{};
    table.DestroyJavaVM = DestroyJavaVM;
    table.AttachCurrentThread = AttachCurrentThread;
    table.DetachCurrentThread = DetachCurrentThread;
    table.GetEnv = GetEnv;
    table.AttachCurrentThreadAsDaemon = AttachCurrentThread;
    return table;
}();

void writeStandardError(std::string_view text)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// The creation moment in 100 ns units since 1601, on the same clock as GetProcessTimes, so
// that a benchmark can subtract the process creation time.
std::string preciseNow()
{
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return std::to_string(ticks);
}

std::wstring widenAnsi(const std::string& text)
{
    if (text.empty())
        return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

void applyOptionKnobs(const void* arguments)
{
    const auto* initArguments = static_cast<const JavaVMInitArgs*>(arguments);
    if (!initArguments || initArguments->version < JNI_VERSION_1_2 || initArguments->version > JNI_VERSION_1_8 ||
        initArguments->nOptions <= 0 || !initArguments->options)
        return;
    const std::string prefix = "-Dsldk.";
    bool service = false;
    for (jint i = 0; i < initArguments->nOptions; ++i) {
        if (!initArguments->options[i].optionString)
            continue;
        const std::string option = initArguments->options[i].optionString;
        if (option == "-Dvexon.isService=true") {
            service = true;
            continue;
        }
        const size_t equals = option.find('=');
        if (option.rfind(prefix, 0) != 0 || equals == std::string::npos || equals == prefix.size())
            continue;
        std::string name = "SLDK_" + option.substr(prefix.size(), equals - prefix.size());
        for (char& c : name)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        SetEnvironmentVariableW(widenAnsi(name).c_str(), widenAnsi(option.substr(equals + 1)).c_str());
    }
    if (service && environmentText(L"SLDK_JVM_WAIT_STDIN").empty())
        SetEnvironmentVariableW(L"SLDK_JVM_WAIT_STDIN", L"1");
}

} // namespace

JavaVM* javaVm() { return g_created ? &g_vm : nullptr; }

void trace(std::string_view line)
{
    if (!g_traceFileRead) {
        g_traceFile = environmentText(L"SLDK_TRACE");
        g_traceFileRead = true;
    }
    if (g_traceFile.empty())
        return;
    // Opened per line and shared, so that the trace survives an ExitProcess in main and a
    // test may read it while the launcher still runs.
    HANDLE file = CreateFileW(g_traceFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    std::string text(line);
    text += '\n';
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

void fail(std::string_view message)
{
    std::string line = "stand-in jvm: ";
    line += message;
    trace(line);
    writeStandardError(line + "\r\n");
    ExitProcess(97);
}

} // namespace standin

using namespace standin;

extern "C" {

JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* arguments)
{
    auto* initArguments = static_cast<JavaVMInitArgs*>(arguments);
    if (!initArguments)
        return JNI_ERR;
    // The 1.1 layout is a different structure that this VM does not fill.
    if (initArguments->version < JNI_VERSION_1_2 || initArguments->version > JNI_VERSION_1_8)
        return JNI_EVERSION;
    return JNI_OK;
}

JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* arguments)
{
    const std::string createTime = preciseNow();
    if (!g_created)
        applyOptionKnobs(arguments);
    trace("create-time: " + createTime);
    if (g_created)
        return JNI_EEXIST;
    if (!vm || !env || !arguments)
        fail("JNI_CreateJavaVM without its three arguments");
    if (environmentText(L"SLDK_JVM_CREATE_FAIL") == L"1") {
        trace("create: failed");
        return JNI_ERR;
    }
    const auto* initArguments = static_cast<const JavaVMInitArgs*>(arguments);
    if (initArguments->version < JNI_VERSION_1_2 || initArguments->version > JNI_VERSION_1_8) {
        trace("create: unsupported version");
        return JNI_EVERSION;
    }
    if (initArguments->nOptions < 0 || (initArguments->nOptions > 0 && !initArguments->options))
        fail("JNI_CreateJavaVM with a broken option list");
    char versionText[32];
    std::snprintf(versionText, sizeof versionText, "0x%08lx", static_cast<unsigned long>(initArguments->version));
    trace(std::string("vm-version: ") + versionText);
    trace(std::string("ignore-unrecognized: ") + (initArguments->ignoreUnrecognized ? "true" : "false"));
    for (jint i = 0; i < initArguments->nOptions; ++i) {
        const JavaVMOption& option = initArguments->options[i];
        if (!option.optionString)
            fail("JNI_CreateJavaVM with a null option string");
        trace("option: " + ansiToUtf8(option.optionString));
    }
    buildWorld();
    g_vm.functions = &g_invokeTable;
    g_created = true;
    *vm = &g_vm;
    *env = environment();
    trace("created");
    return JNI_OK;
}

JNIEXPORT jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** vms, jsize capacity, jsize* count)
{
    if (count)
        *count = g_created ? 1 : 0;
    if (g_created && vms && capacity > 0)
        vms[0] = &g_vm;
    return JNI_OK;
}

} // extern "C"
