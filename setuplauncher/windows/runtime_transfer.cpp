#include "setuplauncher/windows/runtime_transfer.h"

#include <wininet.h>

#include <algorithm>
#include <cstdint>
#include <optional>

#include "launchcore/windows/base/wide_format.h"
#include "launchcore/windows/exit/fatal_exit.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/messages/message_texts.h"
#include "setuplauncher/download_progress.h"
#include "setuplauncher/windows/download_formats.h"
#include "setuplauncher/windows/download_hash.h"
#include "setuplauncher/windows/progress_scale.h"
#include "setuplauncher/windows/progress_window.h"
#include "setuplauncher/windows/wininet_binding.h"

namespace {

constexpr const wchar_t* kAgent = L"sealdeck download agent";
constexpr const char* kDestination = "jre.tar.gz";
constexpr int kAttempts = 3;
constexpr DWORD kRetryPauseMs = 1000;
constexpr int kLengthQueries = 20;
constexpr DWORD kLengthQueryPauseMs = 300;
constexpr DWORD kReadBlock = 16384;

// Passive FTP and no cache entry, nothing else: WinINet's certificate checks and its
// refusal of a redirect from https to http stay on.
constexpr DWORD kOpenUrlFlags = INTERNET_FLAG_PASSIVE | INTERNET_FLAG_NO_CACHE_WRITE;
static_assert(kOpenUrlFlags == 0x0C000000);

constexpr int32_t kDownloadingMessage = 20001;
constexpr int32_t kNoClientMessage = 20002;
constexpr int32_t kDownloadFailedMessage = 20003;
constexpr int32_t kStatusFormatMessage = 20008;
constexpr int32_t kConnectingMessage = 20009;
constexpr int32_t kCancelMessage = 20012;

int lastError() { return static_cast<int>(GetLastError()); }

unique_hinternet openUrl(void* session, const std::wstring& url)
{
    return unique_hinternet(wininet().openUrl(session, url.c_str(), nullptr, 0, kOpenUrlFlags, 0));
}

// An error page must not be saved as the archive. A handle without an HTTP status (another
// scheme) is taken as it is.
bool statusAccepted(void* request)
{
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!wininet().queryInfo(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return true;
    if (status == HTTP_STATUS_OK)
        return true;
    logError(L"HTTP status %d", static_cast<int>(status));
    return false;
}

bool queryLength(void* request, DWORD& length)
{
    DWORD size = sizeof length;
    return wininet().queryInfo(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr);
}

void showProgress(HWND window, const std::wstring& format, uint64_t done, uint64_t total, DWORD elapsedMs)
{
    const DownloadFigures figures = downloadFigures(done, total, elapsedMs);
    const std::wstring line = formatWide(format.c_str(), figures.megabytesDone, figures.megabytesTotal,
                                         figures.percent, figures.kilobytesPerSecond);
    SetDlgItemTextW(window, kStatusLineControl, line.c_str());
    setProgressPosition(window, figures.barPosition);
}

} // namespace

bool copyUrlToFile(HWND window, unique_hinternet session, unique_hinternet request, DWORD length,
                   const char* destination)
{
    // Runs last: the request goes before the session it belongs to.
    on_scope_exit closeHandles([&] {
        request.reset();
        session.reset();
    });
    logLine(L"file size: %d, handle %p", static_cast<int>(length), request.get());
    unique_file file(CreateFileA(destination, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        logError(L"opening the destination file %S failed with error code %d", destination, lastError());
        return false;
    }
    // A retry starts from nothing, and a failed download leaves nothing to unpack.
    bool complete = false;
    on_scope_exit removePartial([&] {
        if (!complete) {
            file.reset();
            DeleteFileA(destination);
        }
    });

    const std::optional<Sha256Digest> expected = configuredDownloadChecksum();
    std::optional<Sha256Hash> hash;
    if (expected) {
        hash.emplace();
        if (!hash->usable()) {
            logError(L"download checksum cannot be computed");
            return false;
        }
    }
    const std::wstring statusFormat = window ? checkedDownloadFormat(kStatusFormatMessage) : std::wstring();

    const DWORD start = GetTickCount();
    DWORD lastUpdate = 0;
    bool shown = false;
    StallWatch stall(start);
    uint8_t buffer[kReadBlock];
    uint64_t done = 0;
    while (done < length) {
        const DWORD wanted = static_cast<DWORD>(std::min<uint64_t>(kReadBlock, length - done));
        DWORD got = 0;
        if (!wininet().readFile(request.get(), buffer, wanted, &got)) {
            logError(L"InternetReadFile failed with error code %d", lastError());
            return false;
        }
        // A connection closed before the announced length reads as success with nothing.
        if (got == 0 || got > wanted) {
            logError(L"InternetReadFile returned no data (%d of %d)", static_cast<int>(done), static_cast<int>(length));
            return false;
        }
        DWORD written = 0;
        if (!WriteFile(file.get(), buffer, got, &written, nullptr) || written != got) {
            logError(L"writing the destination file %S failed with error code %d", destination, lastError());
            return false;
        }
        if (hash && !hash->add(buffer, got)) {
            logError(L"download checksum cannot be computed");
            return false;
        }
        done += got;
        const DWORD now = GetTickCount();
        if (stall.stalled(now, got)) {
            logError(L"download stalled (%d of %d)", static_cast<int>(done), static_cast<int>(length));
            return false;
        }
        if (window && (!shown || now - lastUpdate > kStatusIntervalMs)) {
            showProgress(window, statusFormat, done, length, now - start);
            lastUpdate = now;
            shown = true;
        }
    }
    if (!CloseHandle(file.release())) {
        logError(L"writing the destination file %S failed with error code %d", destination, lastError());
        return false;
    }
    if (expected) {
        const std::optional<Sha256Digest> actual = hash->finish();
        if (!actual || *actual != *expected) {
            logError(L"download checksum mismatch");
            return false;
        }
    }
    complete = true;
    logLine(L"download successful");
    return true;
}

bool downloadOnce(HWND window, const std::wstring& url, const char* destination)
{
    if (window)
        SetDlgItemTextW(window, kStatusLineControl, messageText(kConnectingMessage).c_str());
    const WininetFunctions& net = wininet();
    if (const DWORD result = net.attemptConnect(0))
        logError(L"InternetAttemptConnect returned %d", static_cast<int>(result));
    unique_hinternet session(net.open(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) {
        logError(L"InternetOpen failed with error code %d", lastError());
        return false;
    }
    // A server that stops sending ends the read instead of holding the installer.
    if (net.setOption) {
        DWORD timeout = kStallWindowMs;
        net.setOption(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    }
    unique_hinternet request = openUrl(session.get(), url);
    if (!request) {
        logError(L"InternetOpenUrl failed with error code %d", lastError());
        return false;
    }
    if (!statusAccepted(request.get()))
        return false;
    DWORD length = 0;
    for (int query = 1; !queryLength(request.get(), length); ++query) {
        logError(L"HttpQueryInfo (try %d) failed with error code %d", query, lastError());
        if (query == kLengthQueries) {
            logError(L"Giving up");
            return false;
        }
        Sleep(kLengthQueryPauseMs);
        request.reset();
        request = openUrl(session.get(), url);
        if (!request) {
            logError(L"InternetOpenUrl 2 failed with error code %d", lastError());
            return false;
        }
        if (!statusAccepted(request.get()))
            return false;
    }
    if (length == 0) {
        logError(L"empty download");
        return false;
    }
    return copyUrlToFile(window, std::move(session), std::move(request), length, destination);
}

void downloadRuntime(HWND window, const std::wstring& url)
{
    if (window) {
        SetDlgItemTextW(window, kNoticeControl, messageText(kDownloadingMessage).c_str());
        SetDlgItemTextW(window, IDCANCEL, messageText(kCancelMessage).c_str());
        ShowWindow(GetDlgItem(window, kStatusLineControl), SW_SHOW);
    }
    if (!bindWininet())
        fatalMessage(kNoClientMessage);
    for (int attempt = 1; !downloadOnce(window, url, kDestination); ++attempt) {
        if (attempt == kAttempts)
            fatalMessage(kDownloadFailedMessage);
        Sleep(kRetryPauseMs);
        logError(L"Retry JRE download");
    }
    if (window)
        ShowWindow(GetDlgItem(window, kStatusLineControl), SW_HIDE);
}
