// The other end of a pipe for the pipe natives' tests:
//   pipe_peer client-echo <pipe>   opens the pipe, sends every block back until it breaks
//   pipe_peer server-echo <pipe>   makes the pipe, waits for a client, echoes the same way
//   pipe_peer client-cut <pipe>    opens the pipe, sends 10 of a 1000-byte block and leaves
// Exit code 0 when the pipe was opened, 1 otherwise.
#include <windows.h>

#include <string>

#include "natives/block_framing.h"

namespace {

struct HandlePipe final : PipeLayer {
    HANDLE pipe;
    explicit HandlePipe(HANDLE handle) : pipe(handle) {}
    bool read(void* buffer, uint32_t size, uint32_t& got) override
    {
        DWORD done = 0;
        const bool ok = ReadFile(pipe, buffer, size, &done, nullptr);
        return got = done, ok;
    }
    bool write(const void* data, uint32_t size, uint32_t& put) override
    {
        DWORD done = 0;
        const bool ok = WriteFile(pipe, data, size, &done, nullptr);
        return put = done, ok;
    }
    bool flush() override { return FlushFileBuffers(pipe); }
};

HANDLE openClient(const wchar_t* name)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        const HANDLE pipe = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE)
            return pipe;
        Sleep(50);
    }
    return INVALID_HANDLE_VALUE;
}

void echo(HANDLE pipe)
{
    HandlePipe layer(pipe);
    while (const auto block = readBlock(layer, UINT32_MAX))
        if (!writeBlock(layer, block->data(), static_cast<uint32_t>(block->size())))
            return;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
        return 2;
    const std::wstring mode = argv[1];
    HANDLE pipe = INVALID_HANDLE_VALUE;
    if (mode == L"server-echo") {
        pipe = CreateNamedPipeW(argv[2], PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0x10000, 0x10000, 0,
                                nullptr);
        if (pipe == INVALID_HANDLE_VALUE)
            return 1;
        if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)
            return 1;
    } else if ((pipe = openClient(argv[2])) == INVALID_HANDLE_VALUE) {
        return 1;
    }
    if (mode == L"client-cut") {
        const unsigned char part[14] = {0xe8, 0x03, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        HandlePipe layer(pipe);
        writeFully(layer, part, sizeof part);
        FlushFileBuffers(pipe);
    } else {
        echo(pipe);
    }
    CloseHandle(pipe);
    return 0;
}
