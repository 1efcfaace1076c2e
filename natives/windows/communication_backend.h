// The Windows transport under the installer's messaging between processes: a named pipe
// that one side creates and the other opens, carrying the blocks of natives/block_framing.h.
#pragma once

#include <windows.h>

// The call that opens the client end of a pipe (CreateFileW). Tests put a recorder in its
// place to see how the client end is opened; the previous call is returned so that they
// can put it back.
using PipeOpenCall = HANDLE(WINAPI*)(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                     DWORD disposition, DWORD flags, HANDLE templateFile);
PipeOpenCall replacePipeOpenCall(PipeOpenCall call);
