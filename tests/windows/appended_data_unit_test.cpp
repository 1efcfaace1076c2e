// The Windows side of the appended data: the included-file copier against real files, and
// the message lookups over an installed configuration.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "launchcore/configuration.h"
#include "launchcore/windows/launcher_file.h"
#include "launchcore/windows/messages/message_texts.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/base/wide_format.h"
#include "testing/test_files.h"

namespace {

std::wstring tempFile(const wchar_t* name)
{
    wchar_t base[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, base);
    return formatWide(L"%scopy_%lu_%s", length > 0 && length <= MAX_PATH ? base : L".\\",
                      GetCurrentProcessId(), name);
}

void writeAll(const std::wstring& path, const std::string& bytes) { ASSERT_TRUE(writeTextFile(path, bytes)); }

std::string pattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return bytes;
}

std::string scrambled(std::string bytes)
{
    for (char& c : bytes)
        c = static_cast<char>(c ^ 0x3C);
    return bytes;
}

bool logHasLine(const std::string& tail)
{
    const wchar_t* path = logPath();
    if (!path)
        return false;
    const std::string log = readTextFile(path);
    return log.find("] " + tail + "\r\n") != std::string::npos;
}

int64_t filePosition(HANDLE file)
{
    LARGE_INTEGER zero{};
    LARGE_INTEGER now{};
    SetFilePointerEx(file, zero, &now, FILE_CURRENT);
    return now.QuadPart;
}

TEST(AppendedDataWindows, CopyUnscrambledCopiesExactlyTheAskedBytes)
{
    struct Row {
        const char* name;
        size_t sourceSize;
        int64_t length;
        bool unscramble;
        int result;
        size_t copied;
        const char* logTail; // expected error line, or nullptr
    };
    const Row rows[] = {
        {"nothing", 100, 0, true, 0, 0, nullptr},
        {"negative length", 100, -7, true, 0, 0, nullptr},
        {"one chunk", 100, 100, true, 0, 100, nullptr},
        {"exactly one full chunk", 6000, 6000, true, 0, 6000, nullptr},
        {"three chunks", 13001, 13001, true, 0, 13001, nullptr},
        {"three chunks kept as is", 13001, 13001, false, 0, 13001, nullptr},
        {"less than the file", 7000, 6500, true, 0, 6500, nullptr},
        {"file ends early", 50, 100, true, 1, 50, "ERROR: ReadFile failed 0 0 50"},
        {"file ends after a chunk", 6010, 9000, false, 1, 6010, "ERROR: ReadFile failed 0 0 6010"},
    };
    const std::wstring sourcePath = tempFile(L"source.bin");
    const std::wstring targetPath = tempFile(L"target.bin");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string data = pattern(row.sourceSize);
        writeAll(sourcePath, data);
        HANDLE source = CreateFileW(sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        HANDLE target = CreateFileW(targetPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(source, INVALID_HANDLE_VALUE);
        ASSERT_NE(target, INVALID_HANDLE_VALUE);

        EXPECT_EQ(copyUnscrambled(source, target, row.length, row.unscramble), row.result);
        // The next included file starts right behind this one, so nothing may be read ahead.
        EXPECT_EQ(filePosition(source), static_cast<int64_t>(row.copied));
        CloseHandle(source);
        CloseHandle(target);

        const std::string expected = data.substr(0, row.copied);
        EXPECT_EQ(readTextFile(targetPath), row.unscramble ? scrambled(expected) : expected);
        if (row.logTail) {
            EXPECT_TRUE(logHasLine(row.logTail)) << row.logTail;
        }
    }
    DeleteFileW(sourcePath.c_str());
    DeleteFileW(targetPath.c_str());
}

TEST(AppendedDataWindows, CopyUnscrambledReportsAFailedWrite)
{
    const std::wstring sourcePath = tempFile(L"wsource.bin");
    const std::wstring targetPath = tempFile(L"wtarget.bin");
    writeAll(sourcePath, pattern(100));
    writeAll(targetPath, "");
    HANDLE source = CreateFileW(sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    // Opened for reading only, so every write is refused.
    HANDLE target = CreateFileW(targetPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(source, INVALID_HANDLE_VALUE);
    ASSERT_NE(target, INVALID_HANDLE_VALUE);
    EXPECT_EQ(copyUnscrambled(source, target, 100, true), 2);
    CloseHandle(source);
    CloseHandle(target);
    EXPECT_TRUE(logHasLine(formatNarrow("ERROR: WriteFile failed 100 %d", ERROR_ACCESS_DENIED)));
    DeleteFileW(sourcePath.c_str());
    DeleteFileW(targetPath.c_str());
}

void installSample()
{
    installConfiguration(
        {
            {1000, "Config caption"},
            {1003, "config text behind a message"},
            {1005, "The JVM could not be started."},
            {20, "abcdef"},
        },
        {
            {1003, u"The {0} environment variable does not\npoint to a working JDK or JRE. {0}"},
            {1006, u"No placeholder here"},
            {1009, u"An internal error occurred (error code: {0})"},
            {1014, u"Fehler \u00e4\u65e5 {0}:"},
        });
}

TEST(AppendedDataWindows, FormatMessageReplacesOnlyTheFirstPlaceholder)
{
    installSample();
    const std::wstring longArgument(7000, L'p');
    struct Row {
        const char* name;
        std::function<std::wstring()> format;
        std::wstring expected;
    };
    const Row rows[] = {
        {"wide argument", [] { return formatMessage(1003, L"VEXON_JAVA_HOME"); },
         L"The VEXON_JAVA_HOME environment variable does not\npoint to a working JDK or JRE. {0}"},
        {"no argument", [] { return formatMessage(1003); },
         L"The {0} environment variable does not\npoint to a working JDK or JRE. {0}"},
        {"message without placeholder", [] { return formatMessage(1006, L"ignored"); }, L"No placeholder here"},
        {"8-bit argument", [] { return formatMessage(1009, "20"); }, L"An internal error occurred (error code: 20)"},
        {"non-ASCII message", [] { return formatMessage(1014, L"app"); }, L"Fehler \u00e4\u65e5 app:"},
        {"missing message falls back to the entry", [] { return formatMessage(1005, L"x"); },
         L"The JVM could not be started."},
        {"neither message nor entry", [] { return formatMessage(4242, L"x"); }, L""},
        {"argument beyond any fixed buffer", [&] { return formatMessage(1009, longArgument.c_str()); },
         L"An internal error occurred (error code: " + longArgument + L")"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.format(), row.expected) << row.name;

    EXPECT_EQ(messageOrConfigText(1000), L"Config caption");
    EXPECT_EQ(messageOrConfigText(1003).substr(0, 8), L"The {0} ");
    EXPECT_EQ(messageText(1005), L"");
}

TEST(AppendedDataWindows, ConfigStringWideStaysInsideTheBuffer)
{
    installSample();
    struct Row {
        int32_t id;
        size_t size;
        size_t copied;
        const wchar_t* text;
    };
    const Row rows[] = {
        {20, 100, 6, L"abcdef"}, {20, 7, 6, L"abcdef"}, {20, 6, 5, L"abcde"},
        {20, 1, 0, L""},         {4242, 10, 0, L""},
    };
    for (const Row& row : rows) {
        std::vector<wchar_t> buffer(row.size + 1, L'#');
        EXPECT_EQ(configStringWide(row.id, buffer.data(), row.size), row.copied) << row.id << "/" << row.size;
        EXPECT_EQ(std::wstring(buffer.data()), row.text);
        EXPECT_EQ(buffer[row.size], L'#') << "written past the end";
    }
    wchar_t untouched = L'#';
    EXPECT_EQ(configStringWide(20, &untouched, 0), 0u);
    EXPECT_EQ(untouched, L'#');
}

TEST(AppendedDataWindows, WideFormatKeepsTheWindowsMeanings)
{
    struct Row {
        std::wstring actual;
        std::wstring expected;
    };
    const Row rows[] = {
        {formatWide(L"[%s]", L"wide text"), L"[wide text]"},
        {formatWide(L"[%S]", "8-bit text"), L"[8-bit text]"},
        {formatWide(L"%I64d", static_cast<int64_t>(-5000000000LL)), L"-5000000000"},
        {formatWide(L"%d:%d", 61, 50), L"61:50"},
        {formatWide(L"%s", std::wstring(20000, L'z').c_str()), std::wstring(20000, L'z')},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.actual, row.expected);
}

} // namespace
