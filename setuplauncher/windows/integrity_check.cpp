#include "setuplauncher/windows/integrity_check.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "launchcore/appended_data_format.h"
#include "launchcore/crc32.h"
#include "launchcore/windows/exit/fatal_exit.h"
#include "launchcore/windows/launcher_file.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/messages/message_texts.h"
#include "setuplauncher/windows/installer_state.h"
#include "setuplauncher/windows/progress_scale.h"

namespace {

constexpr int32_t kCorruptedInstallationMessage = 20016;
constexpr int32_t kInstallerTitleMessage = 20013;

// The covered range is read once, front to back. With blocks of a few kilobytes the cost
// of the ReadFile calls, not the CRC, set the pace (half the throughput); at a megabyte it
// is lost in the CRC.
constexpr DWORD kCheckBlock = 1 << 20;

// The CRC of the length bytes at the file's position; ends the process when the file ends
// early or cannot be read.
uint32_t checksumOfRange(HANDLE file, int64_t length, HWND window)
{
    std::vector<uint8_t> buffer(kCheckBlock);
    uint32_t crc = kCrc32Start;
    int64_t done = 0;
    int64_t shownPercent = 0;
    while (done < length) {
        const DWORD wanted = static_cast<DWORD>(std::min<int64_t>(length - done, kCheckBlock));
        DWORD got = 0;
        // An early end of the file is a successful read of nothing; it reports error 0.
        SetLastError(ERROR_SUCCESS);
        if (!ReadFile(file, buffer.data(), wanted, &got, nullptr) || got == 0) {
            const DWORD error = GetLastError();
            logError(L"check ReadFile failed %d %d %I64d", static_cast<int>(got), static_cast<int>(error), done);
            fatalMessage(1009, L"34");
        }
        crc = crc32Update(crc, buffer.data(), got);
        done += got;
        if (window) {
            // At most one update per whole percent: a hundred messages for the whole check.
            const int64_t percent = done * 100 / length;
            if (percent > shownPercent) {
                shownPercent = percent;
                setProgressPosition(window, static_cast<int>(percent));
            }
        }
    }
    return crc;
}

} // namespace

void verifyIntegrity(HWND window)
{
    unique_file file = openLauncherFileOrExit();
    seekAppendedData(file.get());
    logLine(L"starting at %d", static_cast<int>(filePosition(file.get())));

    // A wrong magic leaves these apart, so the check fails.
    uint32_t computed = 0;
    uint32_t expected = 1;
    if (readWordOrExit(file.get()) == kAppendedDataMagic) {
        // "-nocheck" skips the rest of the header.
        if (integrityCheckOn() && readWordOrExit(file.get()) != 0) {
            expected = readWordOrExit(file.get());
            const int64_t length = readLengthOrExit(file.get());
            logLine(L"verifying integrity length %I64d", length);
            computed = checksumOfRange(file.get(), length, window);
            logLine(L"checksums: %u %u %d %d", computed, expected, static_cast<int>(computed),
                    static_cast<int>(expected));
        } else {
            expected = 0;
            // The check's share of the bar counts as done.
            setProgressRange(window, 100, 400);
            setProgressPosition(window, 101);
        }
    }
    file.reset();
    if (computed == expected)
        return;
    MessageBoxW(window, messageText(kCorruptedInstallationMessage).c_str(),
                messageText(kInstallerTitleMessage).c_str(), MB_ICONERROR);
    exitWithCleanup(1);
}
