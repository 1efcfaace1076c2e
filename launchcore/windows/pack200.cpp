#include "launchcore/windows/pack200.h"

#include <windows.h>

#include <string_view>
#include <vector>

#include "launchcore/text.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/exit/fatal_exit.h"
#include "launchcore/windows/messages/error_display.h"
#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/base/process_launch.h"
#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/process_paths.h"

namespace {

constexpr std::string_view kJarPackSuffix = ".jar.pack";
constexpr size_t kPackSuffixLength = 5; // ".pack"

// FindFirstFile also matches the pattern against 8.3 names, so a hit is only a candidate.
bool isJarPackName(std::string_view name)
{
    return name.size() > kJarPackSuffix.size() &&
           equalsIgnoreAsciiCase(name.substr(name.size() - kJarPackSuffix.size()), kJarPackSuffix);
}

std::vector<std::string> jarPacksIn(const std::string& directory)
{
    std::vector<std::string> names;
    const std::string pattern = directory + "\\*.jar.pack";
    WIN32_FIND_DATAA entry;
    unique_find search(FindFirstFileA(pattern.c_str(), &entry));
    if (!search)
        return names;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && isJarPackName(entry.cFileName))
            names.emplace_back(entry.cFileName);
    } while (FindNextFileA(search.get(), &entry));
    return names;
}

void unpackSubdirectory(const std::string& runtimeDirectory, const char* subdirectory, bool& started)
{
    const std::string directory = runtimeDirectory + "\\" + subdirectory;
    // Collected first: each restoration removes its pack from the directory being listed.
    for (const std::string& packName : jarPacksIn(directory)) {
        const std::string jarName = packName.substr(0, packName.size() - kPackSuffixLength);
        const std::string jarPath = directory + "\\" + jarName;
        logLine(L"checking %S", jarPath.c_str());
        if (pathExists(jarPath))
            continue;
        if (!started) {
            started = true;
            logLine(L"Unpacking JRE");
            writeConsole("Preparing JRE ...\n");
        }
        unpackPackFile(runtimeDirectory, jarPath + ".pack");
    }
}

} // namespace

void unpackJarPacks(const std::string& runtimeDirectory)
{
    bool started = false;
    unpackSubdirectory(runtimeDirectory, "lib", started);
    unpackSubdirectory(runtimeDirectory, "lib\\ext", started);
    if (started)
        logLine(L"Unpacking JRE done");
}

void unpackPackFile(const std::string& runtimeDirectory, const std::string& packPath)
{
    if (packPath.size() <= kPackSuffixLength || !pathExists(packPath)) {
        logLine(L"pack path doesn't exists");
        return;
    }
    // Without a runtime the tool's path would be "\bin\unpack200.exe", at the root of the
    // current drive, where any user may have put a program.
    if (runtimeDirectory.empty()) {
        logError(L"no runtime directory for unpacking %S", packPath.c_str());
        return;
    }
    const std::string jarPath = packPath.substr(0, packPath.size() - kPackSuffixLength);
    const std::string program = runtimeDirectory + "\\bin\\unpack200.exe";
    // The child's runtime takes the first word as its own name, so the program is repeated
    // there; without it "-r" would be swallowed and the pack left behind.
    const std::string commandLine = "\"" + program + "\" -r \"" + packPath + "\" \"" + jarPath + "\"";
    logLine(L"unpack200: %S", program.c_str());
    logLine(L"command line: %S", commandLine.c_str());

    ProcessLaunch launch;
    launch.applicationName = widenAnsi(program);
    launch.commandLine = widenAnsi(commandLine);
    launch.hidden = true;
    launch.inheritHandles = true;
    const StartedProcess unpacker = startProcess(launch);
    if (!unpacker) {
        logLine(L"could not create unpack process");
        logError(L"CreateProcess failed (%d)", static_cast<int>(unpacker.error));
        fatalMessage(1009, "20");
    }

    logLine(L"waiting for unpack200 to finish");
    const ProcessWait waited = waitForProcess(unpacker.process.get(), INFINITE, false);
    logLine(L"unpack done");

    const DWORD exitCode = waited.exitCodeRead ? waited.exitCode : static_cast<DWORD>(-1);
    if (exitCode != 0) {
        // The pack is the only copy of this jar: keep it, and drop the partial jar, which
        // would otherwise count as restored on the next run.
        logError(L"unpack200 failed (exit %d)", static_cast<int>(exitCode));
        DeleteFileA(jarPath.c_str());
        return;
    }
    // "-r" lets the tool remove the pack itself, so a missing file is the usual case.
    if (!DeleteFileA(packPath.c_str())) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND)
            logLine(L"could not delete packed file (error %d)", static_cast<int>(error));
    }
}
