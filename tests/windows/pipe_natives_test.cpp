// The pipe natives in-process, with testing/pipe_peer as the other end in a process of its
// own. Pipe names carry this process's id.
#include <windows.h>

#include <gtest/gtest.h>

#include <jni.h>

#include <string>
#include <vector>

#include "natives/jni_conventions.h"
#include "natives/windows/communication_backend.h"
#include "testing/natives_harness/natives_harness.h"
#include "testing/process_runner.h"

using namespace natives_harness;

namespace {

using Named = jlong (*)(JNIEnv*, jobject, jstring);
using HandleTest = jboolean (*)(JNIEnv*, jobject, jlong);
using HandleAction = void (*)(JNIEnv*, jobject, jlong);
using ReadBlock = jbyteArray (*)(JNIEnv*, jobject, jlong);
using WriteBlock = jboolean (*)(JNIEnv*, jobject, jlong, jbyteArray);

template <typename Function>
Function native(const char* method)
{
    return boundNative<Function>("Win32CommunicationBackend", method);
}

std::wstring pipeName(const wchar_t* tag)
{
    return L"\\\\.\\pipe\\sldk-tests-" + std::to_wstring(GetCurrentProcessId()) + L"-" + tag;
}

jstring javaText(const std::wstring& text) { return javaString(std::u16string(text.begin(), text.end())); }

RunningProcess startPeer(const wchar_t* mode, const std::wstring& name)
{
    wchar_t path[MAX_PATH] = {};
    const std::wstring self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    ProcessOptions options;
    options.arguments = {mode, name};
    return startProcess(self.substr(0, self.find_last_of(L'\\')) + L"\\pipe_peer.exe", options);
}

// Blocks of every size out through the handle, each compared with the peer's echo.
void exchangeBlocks(jlong handle)
{
    for (const size_t size : {0u, 1u, 70000u, 1u << 20}) {
        SCOPED_TRACE(testing::Message() << "a block of " << size << " bytes");
        std::vector<unsigned char> payload(size);
        for (size_t i = 0; i < size; ++i)
            payload[i] = static_cast<unsigned char>(i % 253);
        ASSERT_TRUE(call(native<WriteBlock>("writeDataBlock0"), handle, primitiveArray('B', payload)));
        EXPECT_EQ(primitiveBytes(call(native<ReadBlock>("readDataBlock0"), handle)), payload);
        dropLocalReferences();
    }
}

DWORD g_openFlags = 0;
HANDLE WINAPI recordingOpen(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                            DWORD disposition, DWORD flags, HANDLE templateFile)
{
    g_openFlags = flags;
    return CreateFileW(name, access, share, security, disposition, flags, templateFile);
}

class PipeNatives : public testing::Test {
protected:
    void SetUp() override { registerProgramNatives(); }
    void TearDown() override { dropLocalReferences(); }
};

TEST_F(PipeNatives, ListenerServesOneClientAtATime)
{
    const std::wstring name = pipeName(L"listener");
    const jlong listener = call(native<Named>("createListener0"), javaText(name));
    ASSERT_NE(listener, -1);
    RunningProcess peer = startPeer(L"client-echo", name);
    ASSERT_TRUE(call(native<HandleTest>("connectNamedPipe0"), listener));

    const HANDLE second =
        CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_BUSY));
    if (second != INVALID_HANDLE_VALUE)
        CloseHandle(second);
    EXPECT_EQ(call(native<Named>("createListener0"), javaText(name)), -1);

    exchangeBlocks(listener);
    call(native<HandleAction>("disconnectNamedPipe0"), listener);
    EXPECT_EQ(peer.wait(30000).exitCode, 0u);
    call(native<HandleAction>("closeHandle0"), listener);
}

TEST_F(PipeNatives, ClientOpensForIdentificationOnlyAndExchangesBlocks)
{
    const std::wstring name = pipeName(L"client");
    RunningProcess peer = startPeer(L"server-echo", name);
    const PipeOpenCall previous = replacePipeOpenCall(&recordingOpen);
    const jlong client = call(native<Named>("connectClient0"), javaText(name));
    replacePipeOpenCall(previous);
    ASSERT_NE(client, 0);
    // Otherwise whoever made the pipe could act with the (elevated) client's rights.
    EXPECT_EQ(g_openFlags, static_cast<DWORD>(SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION));

    exchangeBlocks(client);
    call(native<HandleAction>("closeHandle0"), client);
    EXPECT_EQ(peer.wait(30000).exitCode, 0u);
}

TEST_F(PipeNatives, PeerLeavingMidBlockFailsTheReadAndLaterWrites)
{
    const std::wstring name = pipeName(L"cut");
    const jlong listener = call(native<Named>("createListener0"), javaText(name));
    RunningProcess peer = startPeer(L"client-cut", name);
    ASSERT_TRUE(call(native<HandleTest>("connectNamedPipe0"), listener));
    EXPECT_EQ(call(native<ReadBlock>("readDataBlock0"), listener), nullptr);
    EXPECT_EQ(peer.wait(30000).exitCode, 0u);
    EXPECT_FALSE(call(native<WriteBlock>("writeDataBlock0"), listener, primitiveArray<unsigned char>('B', {1, 2})));
    EXPECT_FALSE(call(native<WriteBlock>("writeDataBlock0"), listener, nullptr));
    call(native<HandleAction>("closeHandle0"), listener);

    // No handle and no name fail at once.
    EXPECT_EQ(call(native<jlong (*)(JNIEnv*, jobject)>("getInvalidHandle0")), -1);
    EXPECT_EQ(call(native<Named>("createListener0"), nullptr), -1);
    EXPECT_EQ(call(native<Named>("connectClient0"), nullptr), 0);
    EXPECT_FALSE(call(native<HandleTest>("connectNamedPipe0"), -1));
    EXPECT_EQ(call(native<ReadBlock>("readDataBlock0"), -1), nullptr);
    EXPECT_FALSE(call(native<WriteBlock>("writeDataBlock0"), -1, primitiveArray<unsigned char>('B', {1})));
}

TEST_F(PipeNatives, FailedJavaCallsEndTheCallWithTheirExceptionPending)
{
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0x10000));
    const unsigned char block[] = {3, 0, 0, 0, 'a', 'b', 'c'};
    unsigned char payload[3];
    DWORD moved = 0;
    for (const char* slot : {"New<Type>Array", "Get<Type>ArrayElements"}) {
        SCOPED_TRACE(slot);
        ASSERT_TRUE(WriteFile(writeEnd, block, sizeof block, &moved, nullptr));
        failCall(slot, 0);
        EXPECT_EQ(call(native<ReadBlock>("readDataBlock0"), handleToJava(readEnd)), nullptr);
        EXPECT_TRUE(exceptionPending());
        clearException();
        ASSERT_TRUE(ReadFile(readEnd, payload, sizeof payload, &moved, nullptr)); // left unread
    }
    failCall("Get<Type>ArrayElements", 0);
    EXPECT_FALSE(call(native<WriteBlock>("writeDataBlock0"), handleToJava(writeEnd),
                      primitiveArray<unsigned char>('B', {1})));
    EXPECT_TRUE(exceptionPending());
    clearException();
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
}

TEST_F(PipeNatives, ProcessesAreAliveUntilTheyEnd)
{
    const auto alive = native<jboolean (*)(JNIEnv*, jobject, jint)>("isProcessAlive0");
    const jint self = static_cast<jint>(GetCurrentProcessId());
    EXPECT_EQ(call(native<jint (*)(JNIEnv*, jobject)>("getCurrentProcessId0")), self);
    EXPECT_TRUE(call(alive, self));
    // A client waiting for a pipe that never comes runs for a few seconds.
    RunningProcess peer = startPeer(L"client-echo", pipeName(L"never"));
    EXPECT_TRUE(call(alive, static_cast<jint>(peer.processId())));
    TerminateProcess(peer.processHandle(), 7);
    WaitForSingleObject(peer.processHandle(), 10000);
    EXPECT_FALSE(call(alive, static_cast<jint>(peer.processId())));
    EXPECT_FALSE(call(alive, 0));
}

} // namespace
