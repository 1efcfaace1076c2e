// The VM start's failure paths in-process: LoadDLL for runtimes that cannot be used and a
// launch attempted without a loaded VM library. One test, because a bound entry point would
// stay for the rest of the process.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launchcore/windows/JavaVMLauncher.h"
#include "launchcore/windows/log/diagnostic_log.h"

namespace {

std::string readLog()
{
    const wchar_t* path = logPath();
    if (!path)
        return {};
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string content;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        content.append(buffer, read);
    CloseHandle(file);
    return content;
}

// The lines must follow each other in the log after its current end.
void expectLogLinesSince(size_t start, const std::vector<std::string>& lines)
{
    const std::string log = readLog();
    size_t position = start;
    for (const std::string& line : lines) {
        const size_t found = log.find("] " + line + "\r\n", position);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\nlog:\n" << log.substr(start);
        position = found + line.size();
    }
}

std::string scratchDirectory()
{
    char base[MAX_PATH + 1];
    const DWORD length = GetTempPathA(MAX_PATH + 1, base);
    std::string path = std::string(length > 0 && length <= MAX_PATH ? base : ".\\") + "vmstart_" +
                       std::to_string(GetCurrentProcessId());
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

TEST(JavaVmLauncher, UnusableRuntimesAndLaunchWithoutVmLibrary)
{
    logLine(L"java vm launcher test");
    size_t start = readLog().size();
    EXPECT_FALSE(launchProgram({L"setup.exe"}, true));
    expectLogLinesSince(start, {"launching program", "ERROR: could not initialize JVM"});

    const std::string empty = scratchDirectory();
    struct Case {
        const char* name;
        std::string location;
        bool isJavaExe;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"runtime directory without a VM library", empty, false,
         {"LoadDLL (0, " + empty + ", 0)", "Got JRE location " + empty + " (java exe: 0)", "MinVersion: , MaxVersion: ",
          "ERROR: Could not get DLL-Handle.", "ERROR: Could not load functions"}},
        {"java executable that does not run", empty + "\\bin\\java.exe", true,
         {"LoadDLL (0, " + empty + "\\bin\\java.exe, 1)", "Got JRE location " + empty + "\\bin\\java.exe (java exe: 1)",
          "ERROR: Provided JVM unusable"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start = readLog().size();
        EXPECT_FALSE(LoadDLL(false, c.location.c_str(), c.isJavaExe));
        expectLogLinesSince(start, c.lines);
    }
    RemoveDirectoryA(empty.c_str());

    // A failed LoadDLL leaves no entry point behind.
    start = readLog().size();
    EXPECT_FALSE(launchProgram({L"setup.exe"}, true));
    expectLogLinesSince(start, {"launching program", "ERROR: could not initialize JVM"});
}

} // namespace
