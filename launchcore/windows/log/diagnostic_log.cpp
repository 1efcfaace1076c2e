#include "launchcore/windows/log/diagnostic_log.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "launchcore/diagnostics.h"
#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/base/system_text.h"
#include "launchcore/windows/base/text_conversion.h"
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
// The new log's own handle, kept from the set-up for the first line.
unique_file g_firstLineFile;
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

// A line the log cannot take has nowhere else to go, so the stream's answers are not checked.
void putLogText(const std::wstring& text)
{
    (void)fputws(text.c_str(), g_stream);
    (void)fflush(g_stream);
}

void closeLogStream()
{
    (void)fclose(g_stream);
    g_stream = nullptr;
}

void deleteLogAtExit()
{
    LockHolder hold;
    if (g_pathRequested || g_keepLog || !g_hasLogPath)
        return;
    if (g_stream)
        closeLogStream();
    g_firstLineFile.reset();
    DeleteFileW(g_logPath.c_str());
}

// The bytes the C runtime's UTF-8 text stream writes for text: "\n" becomes "\r\n", and the
// text ends at its first NUL as fputws ends there.
std::string utf8TextBytes(const wchar_t* text)
{
    std::wstring lines;
    for (const wchar_t* c = text; *c; ++c) {
        if (*c == L'\n')
            lines += L'\r';
        lines += *c;
    }
    return narrowToCodePage(lines, CP_UTF8);
}

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

enum class Appended { Done, Utf16File };

// One line added as a stream opened with "a,ccs=UTF-8" adds it (UTF-8, a byte order mark
// first when the file is empty or new), but with one open and one WriteFile. A file that
// starts with the UTF-16 mark is left to the C runtime, which then writes UTF-16.
Appended appendLine(const std::wstring& path, const std::wstring& line)
{
    // Inheritable and shared as the C runtime opens its streams.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const unique_file file(CreateFileW(path.c_str(), GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &inheritable, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return Appended::Done; // this line is lost, as with a failed reopen
    unsigned char mark[3] = {};
    DWORD got = 0;
    if (!ReadFile(file.get(), mark, sizeof mark, &got, nullptr))
        got = 0;
    if (got >= 2 && mark[0] == 0xFF && mark[1] == 0xFE)
        return Appended::Utf16File;
    std::string bytes = got == 0 ? kUtf8Mark : "";
    bytes += utf8TextBytes(line.c_str());
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return Appended::Done;
}

// Picks the first free "sldk_nlog_N.log" by creating it exclusively: two launchers that
// start together must never share (and later delete) one file. Sets append when every
// number up to the last is taken, so an existing log is extended instead of truncated.
// The new file stays open in created.
std::wstring reserveLogName(const std::wstring& directory, bool& append, unique_file& created)
{
    append = false;
    std::wstring name;
    for (int number = 1; number <= kMaxLogNumber; ++number) {
        name = formatWide(L"%ssldk_nlog_%d.log", directory.c_str(), number);
        HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            created.reset(file);
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
    // Should the runtime library have no room to register the deletion, the log stays as if kept.
    if (!g_keepLog && atexit(deleteLogAtExit) != 0)
        g_keepLog = true;

    std::wstring directory = temporaryDirectoryWide();
    if (directory.empty())
        directory = L"c:\\";
    if (directory.back() != L'\\' && directory.back() != L'/')
        directory.push_back(L'\\');

    bool append = false;
    unique_file created;
    g_logPath = reserveLogName(directory, append, created);
    g_hasLogPath = true;
    const time_t now = time(nullptr);
    // Runs once, under the log's lock, and msvcrt keeps ctime's buffer per thread.
    const char* started = ctime(&now); // NOLINT(concurrency-mt-unsafe)
    const std::wstring module = moduleFileName();
    const std::wstring header = formatWide(L"Started executable %s at %S\n", module.c_str(), started ? started : "\n");
    if (created) {
        // Empty and ours: what "w,ccs=UTF-8" would write, through the handle that made it.
        const std::string bytes = kUtf8Mark + utf8TextBytes(header.c_str());
        DWORD written = 0;
        WriteFile(created.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        g_firstLineFile = std::move(created);
    } else {
        g_stream = _wfopen(g_logPath.c_str(), append ? L"a,ccs=UTF-8" : L"w,ccs=UTF-8");
        if (!g_stream) {
            g_logPath = kFallbackLogPath;
            g_stream = _wfopen(g_logPath.c_str(), L"w,ccs=UTF-8");
        }
        if (g_stream)
            putLogText(header);
    }
    g_startTime = static_cast<uint32_t>(millisecondsSince1601());
}

// Writes one whole line and closes the file again, so the log is complete even when the
// process is killed; the open of the C runtime's append stream is done by appendLine.
void writeLogText(const std::wstring& line)
{
    if (g_firstLineFile) {
        const std::string bytes = utf8TextBytes(line.c_str());
        DWORD written = 0;
        WriteFile(g_firstLineFile.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        g_firstLineFile.reset();
        return;
    }
    if (!g_stream && g_hasLogPath && appendLine(g_logPath, line) == Appended::Done)
        return;
    if (!g_stream && g_hasLogPath)
        g_stream = _wfopen(g_logPath.c_str(), L"a,ccs=UTF-8");
    if (!g_stream)
        return;
    putLogText(line);
    closeLogStream();
}

void writeLine(bool isError, const wchar_t* format, va_list args) noexcept
{
    try {
        const std::wstring text = formatWideV(format, args);
        LockHolder hold;
        if (!g_initialised) {
            g_initialised = true;
            setUpLog();
            // A log that could not be created loses its first line; later lines try again.
            if (!g_firstLineFile && !g_stream)
                return;
        }
        std::wstring line =
            logLinePrefix(static_cast<uint32_t>(millisecondsSince1601()), g_startTime);
        if (isError)
            line += L"ERROR: ";
        line += text;
        line += L'\n';
        writeLogText(line);
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
