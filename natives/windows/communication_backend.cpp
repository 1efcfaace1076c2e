// The natives of the Win32CommunicationBackend class: the listening and the connecting end
// of a named pipe, data blocks both ways, and the two process helpers the Java side uses to
// tell whether its peer is still there. Pipe handles cross to Java as long; -1 is none.
#include "natives/windows/communication_backend.h"

#include <atomic>
#include <climits>

#include "launchcore/windows/base/console_output.h"
#include "launchcore/windows/base/handles.h"
#include "natives/block_framing.h"
#include "natives/windows/native_export.h"

namespace {

constexpr jlong kNoHandle = -1;
constexpr DWORD kPipeBufferBytes = 0x10000;
constexpr DWORD kRetryPauseMs = 500;
constexpr int kListenRetries = 600;
constexpr DWORD kFirstPipeWaitMs = 300000;
constexpr DWORD kLaterPipeWaitMs = 1000;
constexpr int kOpenRetries = 200;

std::atomic<PipeOpenCall> g_openCall{&CreateFileW};

class HandlePipe final : public PipeLayer {
public:
    explicit HandlePipe(HANDLE pipe) : pipe_(pipe) {}
    bool read(void* buffer, uint32_t size, uint32_t& got) override
    {
        DWORD done = 0;
        const bool ok = ReadFile(pipe_, buffer, size, &done, nullptr);
        got = done;
        return ok;
    }
    bool write(const void* data, uint32_t size, uint32_t& put) override
    {
        DWORD done = 0;
        const bool ok = WriteFile(pipe_, data, size, &done, nullptr);
        put = done;
        return ok;
    }
    bool flush() override { return FlushFileBuffers(pipe_); }

private:
    HANDLE pipe_;
};

HANDLE pipeOf(jlong handle) { return handleFromJava<HANDLE>(handle); }

} // namespace

PipeOpenCall replacePipeOpenCall(PipeOpenCall call) { return g_openCall.exchange(call); }

SLDK_NATIVE_EXPORT(jlong, Win32CommunicationBackend, getInvalidHandle0)(JNIEnv*, jobject) { return kNoHandle; }

SLDK_NATIVE_EXPORT(jlong, Win32CommunicationBackend, createListener0)(JNIEnv* env, jobject, jstring pipeName)
{
    const JavaText name(env, pipeName);
    if (!name.ok() || name.isNull())
        return kNoHandle;
    // One instance: while a peer is connected nobody else gets in, not even through a second
    // listener of the same name.
    return handleToJava(CreateNamedPipeW(name.wide(), PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                         1, kPipeBufferBytes, kPipeBufferBytes, 0, nullptr));
}

SLDK_NATIVE_EXPORT(jboolean, Win32CommunicationBackend, connectNamedPipe0)(JNIEnv*, jobject, jlong handle)
{
    if (handle == kNoHandle)
        return JNI_FALSE;
    DWORD error = ERROR_SUCCESS;
    for (int retry = 0;; ++retry) {
        // A client that came between the creation and this call is connected already.
        if (ConnectNamedPipe(pipeOf(handle), nullptr) || (error = GetLastError()) == ERROR_PIPE_CONNECTED)
            return JNI_TRUE;
        if (retry == kListenRetries)
            break;
        Sleep(kRetryPauseMs);
    }
    printConsole("could not connect named pipe %d\n", static_cast<int>(error));
    return JNI_FALSE;
}

SLDK_NATIVE_EXPORT(jlong, Win32CommunicationBackend, connectClient0)(JNIEnv* env, jobject, jstring pipeName)
{
    const JavaText name(env, pipeName);
    if (!name.ok() || name.isNull())
        return 0;
    WaitNamedPipeW(name.wide(), kFirstPipeWaitMs);
    for (int retry = 0;; ++retry) {
        // Identification only: whoever made a pipe of this name first may learn who the
        // (possibly elevated) client is, but never act as it.
        const HANDLE pipe = g_openCall.load()(name.wide(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                              SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        if (pipe != INVALID_HANDLE_VALUE)
            return handleToJava(pipe);
        const DWORD error = GetLastError();
        if (retry == kOpenRetries) {
            printConsole("could not open file %d %S\n", static_cast<int>(error), name.wide());
            return 0;
        }
        Sleep(kRetryPauseMs);
        WaitNamedPipeW(name.wide(), kLaterPipeWaitMs);
    }
}

SLDK_NATIVE_EXPORT(jbyteArray, Win32CommunicationBackend, readDataBlock0)(JNIEnv* env, jobject, jlong handle)
{
    if (handle == kNoHandle)
        return nullptr;
    HandlePipe pipe(pipeOf(handle));
    jbyteArray array = nullptr;
    jbyte* elements = nullptr;
    // The elements, not a critical section: the reads below wait for the peer.
    const bool complete = readBlock(pipe, [&](uint32_t length) -> void* {
        if (length > static_cast<uint32_t>(INT_MAX))
            return nullptr;
        array = env->NewByteArray(static_cast<jsize>(length));
        if (!array || exceptionPending(env) || length == 0)
            return nullptr;
        elements = env->GetByteArrayElements(array, nullptr);
        return elements;
    });
    if (elements)
        env->ReleaseByteArrayElements(array, elements, complete ? 0 : JNI_ABORT);
    if (complete)
        return array;
    if (array)
        env->DeleteLocalRef(array);
    return nullptr;
}

SLDK_NATIVE_EXPORT(jboolean, Win32CommunicationBackend, writeDataBlock0)
(JNIEnv* env, jobject, jlong handle, jbyteArray data)
{
    if (handle == kNoHandle || !data)
        return JNI_FALSE;
    const jsize length = env->GetArrayLength(data);
    if (exceptionPending(env) || length < 0)
        return JNI_FALSE;
    HandlePipe pipe(pipeOf(handle));
    if (length == 0)
        return toJavaBoolean(writeBlock(pipe, nullptr, 0));
    jbyte* elements = env->GetByteArrayElements(data, nullptr);
    if (!elements)
        return JNI_FALSE;
    const bool written = writeBlock(pipe, elements, static_cast<uint32_t>(length));
    env->ReleaseByteArrayElements(data, elements, JNI_ABORT);
    return toJavaBoolean(written);
}

SLDK_NATIVE_EXPORT(void, Win32CommunicationBackend, disconnectNamedPipe0)(JNIEnv*, jobject, jlong handle)
{
    if (handle != kNoHandle)
        DisconnectNamedPipe(pipeOf(handle));
}

SLDK_NATIVE_EXPORT(void, Win32CommunicationBackend, closeHandle0)(JNIEnv*, jobject, jlong handle)
{
    if (handle != kNoHandle)
        CloseHandle(pipeOf(handle));
}

SLDK_NATIVE_EXPORT(jboolean, Win32CommunicationBackend, isProcessAlive0)(JNIEnv*, jobject, jint processId)
{
    const unique_handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(processId)));
    // A process of another user exists but cannot be opened.
    if (!process)
        return toJavaBoolean(GetLastError() == ERROR_ACCESS_DENIED);
    DWORD exitCode = 0;
    return toJavaBoolean(GetExitCodeProcess(process.get(), &exitCode) && exitCode == STILL_ACTIVE);
}

SLDK_NATIVE_EXPORT(jint, Win32CommunicationBackend, getCurrentProcessId0)(JNIEnv*, jobject)
{
    return static_cast<jint>(GetCurrentProcessId());
}
