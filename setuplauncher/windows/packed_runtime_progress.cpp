#include "setuplauncher/windows/packed_runtime_progress.h"

#include <atomic>

#include "launchcore/windows/base/handles.h"
#include "setuplauncher/windows/progress_scale.h"

namespace {

std::atomic<bool> g_packDone{false};
std::atomic<DWORD> g_untarMs{0};

DWORD WINAPI packedRuntimeProgress(void* parameter)
{
    HWND window = static_cast<HWND>(parameter);
    int position = 200;
    while (!g_packDone.load()) {
        Sleep(g_untarMs.load() / 10);
        position += 10;
        setProgressPosition(window, position);
        if (position >= 300)
            break;
    }
    return 0;
}

} // namespace

void startPackedRuntimeProgress(HWND window, DWORD untarMs)
{
    g_untarMs = untarMs;
    g_packDone = false;
    if (!window)
        return;
    unique_handle thread(CreateThread(nullptr, 0, packedRuntimeProgress, window, 0, nullptr));
    if (thread)
        SetThreadPriority(thread.get(), THREAD_PRIORITY_ABOVE_NORMAL);
}

void finishPackedRuntimeProgress() { g_packDone = true; }
