// The diagnostic log and the error display, in-process. A process sets its log up once, so
// every test process gets a fresh temporary directory (made before main) in which the
// numbers 1 and 2 are already taken.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "launchcore/diagnostics.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/messages/error_display.h"
#include "launchcore/windows/base/wide_format.h"
#include "testing/test_files.h"

namespace {

std::wstring g_testTemp;

void removeTestTemp()
{
    for (int number = 1; number <= 4; ++number)
        DeleteFileW(formatWide(L"%ssldk_nlog_%d.log", g_testTemp.c_str(), number).c_str());
    for (const wchar_t* name : {L"stdout.txt", L"stderr.txt", L"console.txt"})
        DeleteFileW((g_testTemp + name).c_str());
    RemoveDirectoryW(g_testTemp.c_str());
}

// Runs before main, so before anything in this process can write the first log line.
const bool g_freshTemp = [] {
    wchar_t base[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, base);
    if (length == 0 || length > MAX_PATH)
        return false;
    g_testTemp = formatWide(L"%slogtest_%lu_%lu\\", base, GetCurrentProcessId(), GetTickCount());
    if (!CreateDirectoryW(g_testTemp.c_str(), nullptr))
        return false;
    for (int number = 1; number <= 2; ++number) {
        HANDLE taken = CreateFileW(formatWide(L"%ssldk_nlog_%d.log", g_testTemp.c_str(), number).c_str(),
                                   GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        CloseHandle(taken);
    }
    SetEnvironmentVariableW(L"TMP", g_testTemp.c_str());
    SetEnvironmentVariableW(L"TEMP", g_testTemp.c_str());
    // Registered before the log's own exit handler, so it runs after the log is deleted.
    atexit(removeTestTemp);
    return true;
}();

std::string inCodePage(const std::wstring& text, UINT codePage = CP_UTF8)
{
    const int length = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr,
                        nullptr);
    return bytes;
}

std::vector<std::string> logLines()
{
    const wchar_t* path = logPath();
    if (!path)
        return {};
    std::string bytes = readTextFile(path);
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes.erase(0, 3);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(bytes.substr(start, end - start));
    return lines;
}

bool endsWith(const std::wstring& text, const std::wstring& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Points a C runtime descriptor at a file for the life of the object. Text mode, as the
// runtime opens its standard streams. Redirecting descriptor 1 or 2 also replaces the
// process's standard handle, so a handle replacement must be made inside this scope.
class DescriptorCapture {
public:
    DescriptorCapture(int descriptor, const std::wstring& path) : descriptor_(descriptor)
    {
        fflush(stream());
        saved_ = _dup(descriptor);
        const int file = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_TEXT, 0666);
        _dup2(file, descriptor);
        _close(file);
    }
    ~DescriptorCapture()
    {
        fflush(stream());
        _dup2(saved_, descriptor_);
        _close(saved_);
    }
    DescriptorCapture(const DescriptorCapture&) = delete;
    DescriptorCapture& operator=(const DescriptorCapture&) = delete;

private:
    FILE* stream() const { return descriptor_ == 1 ? stdout : stderr; }
    int descriptor_;
    int saved_ = -1;
};

// Replaces the standard output handle for the life of the object.
class StdOutputHandle {
public:
    explicit StdOutputHandle(const std::wstring& path)
    {
        saved_ = GetStdHandle(STD_OUTPUT_HANDLE);
        file_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        SetStdHandle(STD_OUTPUT_HANDLE, file_);
    }
    ~StdOutputHandle()
    {
        SetStdHandle(STD_OUTPUT_HANDLE, saved_);
        CloseHandle(file_);
    }

private:
    HANDLE saved_;
    HANDLE file_;
};

TEST(LogDisplay, LinePrefixCountsSecondsAndUnpaddedMilliseconds)
{
    struct Row {
        uint32_t now;
        uint32_t start;
        const wchar_t* expected;
    };
    const Row rows[] = {
        {0, 0, L"[0:0] "},
        {61500, 0, L"[61:500] "},
        {61050, 0, L"[61:50] "},
        {1000 + 5, 5, L"[1:0] "},
        {1000999, 1000, L"[999:999] "},
        // The start is a 32-bit slice of a 64-bit clock, which wraps between start and line.
        {0x100, 0xFFFFFF00u, L"[0:512] "},
        {0xFFFFFFFFu, 0, L"[4294967:295] "},
    };
    for (const Row& row : rows)
        EXPECT_EQ(logLinePrefix(row.now, row.start), row.expected) << row.now << " - " << row.start;
}

TEST(LogDisplay, FileTakesFirstFreeNumberAndHoldsUtf8Lines)
{
    ASSERT_TRUE(g_freshTemp);
    installDiagnosticSink();
    logLine(L"plain %s %S %d", L"wide \u00e4\u65e5", "narrow", 42);
    logError(L"failed %d", 7);
    diagnosticError("from portable code %d", 3);
    diagnosticLine("portable line");

    const wchar_t* path = logPath();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(std::wstring(path), g_testTemp + L"sldk_nlog_3.log");
    for (int taken = 1; taken <= 2; ++taken)
        EXPECT_EQ(readTextFile(formatWide(L"%ssldk_nlog_%d.log", g_testTemp.c_str(), taken)), "") << taken;

    const std::string bytes = readTextFile(path);
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");

    const std::vector<std::string> lines = logLines();
    ASSERT_GE(lines.size(), 2u);
    // ctime ends with its own line break, so an empty line follows the header.
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(Started executable .+\.exe at \w{3} \w{3} [ \d]\d .+ \d{4})")))
        << lines[0];
    EXPECT_EQ(lines[1], "");

    const std::string prefix = R"(\[\d+:\d{1,3}\] )";
    const std::string expected[] = {
        prefix + "plain " + inCodePage(L"wide \u00e4\u65e5") + " narrow 42",
        prefix + "ERROR: failed 7",
        prefix + "ERROR: from portable code 3",
        prefix + "portable line",
    };
    for (const std::string& pattern : expected) {
        bool found = false;
        for (const std::string& line : lines)
            found = found || std::regex_match(line, std::regex(pattern));
        EXPECT_TRUE(found) << pattern;
    }
}

TEST(LogDisplay, ConcurrentLinesStayWhole)
{
    constexpr int kThreads = 4;
    constexpr int kLines = 15;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                logLine(L"worker %d line %d of a longer text to widen the race", t, i);
        });
    for (std::thread& thread : threads)
        thread.join();

    std::vector<int> seen(kThreads * kLines, 0);
    const std::regex shape(R"(\[\d+:\d{1,3}\] worker (\d) line (\d+) of a longer text to widen the race)");
    for (const std::string& line : logLines()) {
        std::smatch match;
        if (line.find("worker") == std::string::npos)
            continue;
        ASSERT_TRUE(std::regex_match(line, match, shape)) << line;
        ++seen[std::stoi(match[1]) * kLines + std::stoi(match[2])];
    }
    for (size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], 1) << "line " << i;
}

// Every line is appended as the C runtime's "a,ccs=UTF-8" stream appends it, whatever
// happened to the file between two lines: emptied or deleted, it gets a byte order mark
// again; one that starts with the UTF-16 mark goes on in UTF-16.
TEST(LogDisplay, LineFollowsWhatTheFileHoldsWhenItIsReopened)
{
    logLine(L"before");
    const std::wstring path = logPath();
    const auto replace = [&](const std::string& bytes) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    };
    const std::regex utf8(R"(\xEF\xBB\xBF\[\d+:\d{1,3}\] two\r\nlines \xC3\xA4\r\n)");
    replace("");
    logLine(L"two\nlines \u00e4");
    EXPECT_TRUE(std::regex_match(readTextFile(path), utf8)) << readTextFile(path);
    DeleteFileW(path.c_str());
    logLine(L"two\nlines \u00e4");
    EXPECT_TRUE(std::regex_match(readTextFile(path), utf8)) << readTextFile(path);

    replace(std::string("\xFF\xFEx\0", 4));
    logLine(L"wide");
    const std::string bytes = readTextFile(path);
    const std::string wide("w\0i\0d\0e\0\r\0\n\0", 12);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\xFF\xFEx\0", 4));
    EXPECT_TRUE(bytes.size() > wide.size() && bytes.compare(bytes.size() - wide.size(), wide.size(), wide) == 0);

    // Without a mark the text is UTF-8 and none is added.
    replace("plain\r\n");
    logLine(L"after");
    EXPECT_TRUE(std::regex_match(readTextFile(path), std::regex(R"(plain\r\n\[\d+:\d{1,3}\] after\r\n)")));
}

TEST(LogDisplay, ErrorTextPointsToTheLongLogPath)
{
    logLine(L"something happened");
    const std::wstring shown = errorDisplayText(L"Something failed.");
    const std::wstring head = L"Something failed.\n\nLog: ";
    ASSERT_EQ(shown.compare(0, head.size(), head), 0);
    EXPECT_TRUE(endsWith(shown, L"\\sldk_nlog_3.log"));
    // A message longer than any fixed buffer stays whole.
    const std::wstring longText(9000, L'x');
    const std::wstring longHead = longText + L"\n\nLog: ";
    EXPECT_EQ(errorDisplayText(longText).compare(0, longHead.size(), longHead), 0);
}

TEST(LogDisplay, ConsoleModeWritesWholeTextToStandardErrorWhenOutputIsNoConsole)
{
    logLine(L"before the error");
    disableGuiErrorMode();
    ASSERT_FALSE(guiErrorMode());
    const std::wstring text = L"First line\nsecond line with \u00fc and more";
    {
        DescriptorCapture capture(2, g_testTemp + L"stderr.txt");
        StdOutputHandle redirected(g_testTemp + L"stdout.txt");
        showError(text);
    }
    const std::string written = readTextFile(g_testTemp + L"stderr.txt");
    // Without a console (output is a pipe) the code page is 0 and the text goes out as UTF-8.
    const UINT codePage = GetConsoleOutputCP();
    const std::string expected = inCodePage(errorDisplayText(text) + L"\n", codePage ? codePage : CP_UTF8);
    // Standard error is a text stream: every line break arrives as CRLF.
    std::string crlf;
    for (char c : expected)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(written, crlf);
    EXPECT_EQ(readTextFile(g_testTemp + L"stdout.txt"), "");
}

TEST(LogDisplay, WriteConsoleUsesTheHandleOnlyWithAnAttachedConsole)
{
    struct Row {
        bool attached;
        const char* expected;
    };
    // Through the handle the bytes go out unchanged; through the runtime's text stream a
    // line break becomes CRLF.
    const Row rows[] = {{true, "50% done\n"}, {false, "50% done\r\n"}};
    for (const Row& row : rows) {
        setConsoleAttached(row.attached);
        {
            DescriptorCapture capture(1, g_testTemp + L"stdout.txt");
            StdOutputHandle redirected(g_testTemp + L"console.txt");
            writeConsole("50% done\n");
        }
        const std::string viaRuntime = readTextFile(g_testTemp + L"stdout.txt");
        const std::string viaHandle = readTextFile(g_testTemp + L"console.txt");
        EXPECT_EQ(row.attached ? viaHandle : viaRuntime, row.expected) << row.attached;
        EXPECT_EQ(row.attached ? viaRuntime : viaHandle, "") << row.attached;
    }
    setConsoleAttached(false);
}

TEST(LogDisplay, ExplorerCommandQuotesBothPartsAndKeepsPathsWithoutShortForm)
{
    wchar_t windows[MAX_PATH + 1];
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH + 1);
    ASSERT_GT(length, 0u);
    const std::wstring head = L"\"" + std::wstring(windows, length) + L"\\explorer.exe\" /select,\"";
    const std::wstring rows[] = {
        L"C:\\no such folder\\sldk_nlog_1.log",                     // no short form: kept
        L"C:\\" + std::wstring(300, L'd') + L"\\sldk_nlog_1.log",  // beyond the classic limit
    };
    for (const std::wstring& path : rows)
        EXPECT_EQ(explorerSelectCommand(path), head + path + L"\"") << path.size();

    // An existing file is named by its short form, which has no blanks to split on.
    const std::wstring spaced = g_testTemp + L"log with blanks.log";
    HANDLE file = CreateFileW(spaced.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    const std::wstring command = explorerSelectCommand(spaced);
    DeleteFileW(spaced.c_str());
    ASSERT_EQ(command.compare(0, head.size(), head), 0);
    EXPECT_EQ(command.back(), L'"');
    EXPECT_EQ(command.find(L"log with blanks"), std::wstring::npos) << command.c_str();
}

} // namespace
