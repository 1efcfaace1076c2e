#include "launchcore/windows/log/diagnostic_log.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "launchcore/diagnostics.h"
#include "launchcore/windows/base/system_text.h"
#include "launchcore/windows/log/temporary_directory.h"
#include "launchcore/windows/base/wide_format.h"

namespace {

constexpr int kMaxLogNumber = 1000;
constexpr const wchar_t* kFallbackLogPath = L"c:\\sldk_nlog";

// A critical section built on first use by the C++ runtime's thread-safe statics, so two
// threads that log their first line at the same moment still share one lock. It is
// recursive, which keeps a stray nested log call from deadlocking.
class LogLock {
public:
    LogLock() { InitializeCriticalSection(&section_); }
    LogLock(const LogLock&) = delete;
    LogLock& operator=(const LogLock&) = delete;
    void enter() { EnterCriticalSection(&section_); }
    void leave() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

LogLock& logLock()
{
    // Never destroyed: threads may still log while the process runs its exit handlers.
    static LogLock* lock = new LogLock();
    return *lock;
}

class LockHolder {
public:
    LockHolder() { logLock().enter(); }
    ~LockHolder() { logLock().leave(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;
};

// All guarded by the log lock.
std::wstring g_logPath;
bool g_hasLogPath = false;
FILE* g_stream = nullptr;
bool g_initialised = false;
bool g_keepLog = false;
bool g_pathRequested = false;
uint32_t g_startTime = 0;

uint64_t millisecondsSince1601()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER value;
    value.LowPart = now.dwLowDateTime;
    value.HighPart = now.dwHighDateTime;
    return value.QuadPart / 10000;
}

bool environmentSaysYes(const wchar_t* name)
{
    wchar_t value[8];
    const DWORD length = GetEnvironmentVariableW(name, value, 8);
    // Anything that does not fit cannot be "yes"; the comparison is case-sensitive on purpose.
    return length == 3 && value[0] == L'y' && value[1] == L'e' && value[2] == L's';
}

void deleteLogAtExit()
{
    LockHolder hold;
    if (g_pathRequested || g_keepLog || !g_hasLogPath)
        return;
    if (g_stream) {
        fclose(g_stream);
        g_stream = nullptr;
    }
    DeleteFileW(g_logPath.c_str());
}

// Picks the first free "sldk_nlog_N.log" by creating it exclusively: two launchers that
// start together must never share (and later delete) one file. Sets append when every
// number up to the last is taken, so an existing log is extended instead of truncated.
std::wstring reserveLogName(const std::wstring& directory, bool& append)
{
    append = false;
    std::wstring name;
    for (int number = 1; number <= kMaxLogNumber; ++number) {
        name = formatWide(L"%ssldk_nlog_%d.log", directory.c_str(), number);
        HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return name;
        }
        const DWORD error = GetLastError();
        // A name can also be refused while its file is being deleted; it is taken all the same.
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS &&
            GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES)
            return name; // the directory itself is unusable; the open below fails and falls back
    }
    append = true;
    return name;
}

// Runs once, under the lock. Must not log: a nested line would close the stream opened here.
void setUpLog()
{
    if (environmentSaysYes(L"VEXON_LOG") || environmentSaysYes(L"SEALDECK_LOG"))
        g_keepLog = true;
    if (!g_keepLog)
        atexit(deleteLogAtExit);

    std::wstring directory = temporaryDirectoryWide();
    if (directory.empty())
        directory = L"c:\\";
    if (directory.back() != L'\\' && directory.back() != L'/')
        directory.push_back(L'\\');

    bool append = false;
    g_logPath = reserveLogName(directory, append);
    g_hasLogPath = true;
    g_stream = _wfopen(g_logPath.c_str(), append ? L"a,ccs=UTF-8" : L"w,ccs=UTF-8");
    if (!g_stream) {
        g_logPath = kFallbackLogPath;
        g_stream = _wfopen(g_logPath.c_str(), L"w,ccs=UTF-8");
    }

    if (g_stream) {
        const time_t now = time(nullptr);
        const char* started = ctime(&now);
        const std::wstring module = moduleFileName();
        const std::wstring header =
            formatWide(L"Started executable %s at %S\n", module.c_str(), started ? started : "\n");
        fputws(header.c_str(), g_stream);
        fflush(g_stream);
    }
    g_startTime = static_cast<uint32_t>(millisecondsSince1601());
}

// Enters the log lock (the caller's holder leaves it) and makes sure a stream is open
// when it can be.
void ensureLogOpen()
{
    if (g_hasLogPath && !g_stream)
        g_stream = _wfopen(g_logPath.c_str(), L"a,ccs=UTF-8");
    if (g_initialised)
        return;
    g_initialised = true;
    setUpLog();
}

void writeLine(bool isError, const wchar_t* format, va_list args) noexcept
{
    try {
        const std::wstring text = formatWideV(format, args);
        LockHolder hold;
        ensureLogOpen();
        if (!g_stream)
            return;
        std::wstring line =
            logLinePrefix(static_cast<uint32_t>(millisecondsSince1601()), g_startTime);
        if (isError)
            line += L"ERROR: ";
        line += text;
        line += L'\n';
        fputws(line.c_str(), g_stream);
        // Closed after every line so the log is complete even when the process is killed.
        fclose(g_stream);
        g_stream = nullptr;
    } catch (...) {
        // Logging never fails its caller (some callers are C and JNI frames).
    }
}

void diagnosticSink(bool isError, const std::string& line)
{
    if (isError)
        logError(L"%S", line.c_str());
    else
        logLine(L"%S", line.c_str());
}

} // namespace

std::wstring logLinePrefix(uint32_t now, uint32_t start)
{
    // Both times are kept to 32 bits, so the difference is taken modulo 2^32.
    const uint32_t elapsed = now - start;
    return formatWide(L"[%d:%d] ", static_cast<int>(elapsed / 1000), static_cast<int>(elapsed % 1000));
}

void logLine(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    writeLine(false, format, args);
    va_end(args);
}

void logError(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    writeLine(true, format, args);
    va_end(args);
}

const wchar_t* logPath()
{
    LockHolder hold;
    g_pathRequested = true;
    return g_hasLogPath ? g_logPath.c_str() : nullptr;
}

void setKeepLogRequested()
{
    LockHolder hold;
    g_keepLog = true;
}

void installDiagnosticSink() { setDiagnosticSink(diagnosticSink); }
