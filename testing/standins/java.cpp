// Stand-in for a runtime's java.exe and javaw.exe, for the tests of the runtime search.
// Every run appends "<own path>|<command line>" to the file named by SLDK_JAVA_RUNS (when
// set), so tests can count version queries and see which program ran. With "-version" it
// writes to standard error:
//   - the banner lines of SLDK_JAVA_BANNER, separated by "|";
//   - the version line: the first line of java-version.txt beside the executable, else
//     SLDK_JAVA_VERSION_LINE, else: java version "1.8.0_181".
// It then sleeps SLDK_JAVA_SLEEP_MS milliseconds (when set) and exits with the number in
// java-exit.txt beside the executable, else SLDK_JAVA_EXIT, else 0.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string environmentValue(const char* name)
{
    std::vector<char> buffer(256);
    for (;;) {
        const DWORD length = GetEnvironmentVariableA(name, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return std::string(buffer.data(), length);
        buffer.resize(length + 1);
    }
}

std::string ownPath()
{
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

bool readFile(const std::string& path, std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return true;
}

std::string firstLine(const std::string& text)
{
    std::string line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

void writeAll(HANDLE target, const std::string& bytes)
{
    const char* data = bytes.data();
    size_t size = bytes.size();
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(target, data, static_cast<DWORD>(size), &written, nullptr) || written == 0)
            return;
        data += written;
        size -= written;
    }
}

void recordRun(const std::string& self)
{
    const std::string runs = environmentValue("SLDK_JAVA_RUNS");
    if (runs.empty())
        return;
    // Append access keeps concurrent runs from overwriting each other's lines.
    HANDLE file = CreateFileA(runs.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    writeAll(file, self + "|" + GetCommandLineA() + "\r\n");
    CloseHandle(file);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string self = ownPath();
    const std::string directory = self.substr(0, self.find_last_of('\\') + 1);
    recordRun(self);

    bool versionAsked = false;
    for (int i = 1; i < argc; ++i)
        versionAsked = versionAsked || std::string(argv[i]) == "-version";
    if (versionAsked) {
        std::string output;
        const std::string banner = environmentValue("SLDK_JAVA_BANNER");
        size_t start = 0;
        while (!banner.empty() && start <= banner.size()) {
            size_t end = banner.find('|', start);
            if (end == std::string::npos)
                end = banner.size();
            output += banner.substr(start, end - start) + "\r\n";
            start = end + 1;
        }
        std::string line;
        std::string fileText;
        if (readFile(directory + "java-version.txt", fileText))
            line = firstLine(fileText);
        else if (!(line = environmentValue("SLDK_JAVA_VERSION_LINE")).empty())
            ;
        else
            line = "java version \"1.8.0_181\"";
        output += line + "\r\n";
        writeAll(GetStdHandle(STD_ERROR_HANDLE), output);
    }

    const std::string sleep = environmentValue("SLDK_JAVA_SLEEP_MS");
    if (!sleep.empty())
        Sleep(static_cast<DWORD>(std::strtoul(sleep.c_str(), nullptr, 10)));

    std::string exitText;
    if (!readFile(directory + "java-exit.txt", exitText))
        exitText = environmentValue("SLDK_JAVA_EXIT");
    return static_cast<int>(std::strtol(exitText.c_str(), nullptr, 10));
}
