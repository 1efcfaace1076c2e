// Stand-in Java runtimes for the tests of the runtime search: directory trees holding the
// stand-in java.exe, javaw.exe and jvm.dll (built beside the test programs), and the
// registry entries through which runtimes are found.
//
// The registry entries written here are shared by every test of the Wine prefix; tests
// that write them hold the CTest resource lock "registry-jvms".
#pragma once

#include "testing/test_files.h"

#include <windows.h>

#include <string>
#include <vector>

struct StandinRuntimeOptions {
    // The first line of "java -version"; empty leaves it to the environment of the run.
    std::string versionLine = "java version \"1.8.0_181\"";
    int exitCode = 0;            // the exit code of "java -version"
    bool jdk = false;            // bin plus a private runtime in jre (java and jvm.dll there)
    bool toolsJar = false;       // lib\tools.jar, what marks a JDK for the JDK-only rule
    bool javaw = true;
    bool jvmLibrary = true;
    std::string vmType = "server";
    bool refuseLoad = false;     // jvm.dll exists but refuses to load
    bool companionLibrary = false; // jvm.dll imports bin\sldkcompanion.dll, laid out beside java.exe
};

// The folder of the running test program, where the stand-ins are built.
std::string standinDirectory();

// Creates home and its tree (the parents of home must exist); false when a file cannot be
// made. For a JDK the version line and exit code go to both executables.
bool layOutStandinRuntime(const std::string& home, const StandinRuntimeOptions& options = {});

// Where the executables and the VM library of a laid-out runtime are.
std::string standinJavaExe(const std::string& home, const StandinRuntimeOptions& options = {});
std::string standinJvmLibrary(const std::string& home, const StandinRuntimeOptions& options = {});

// Sets the file's last-write time to now plus secondsAhead.
bool touchFile(const std::string& path, int secondsAhead = 10);


// HKEY_LOCAL_MACHINE\<key>\<version> with "JavaHome"; key is for example
// "SOFTWARE\JavaSoft\Java Runtime Environment".
bool writeJavaSoftRuntime(const std::string& key, const std::string& version, const std::string& javaHome);
bool setJavaSoftCurrentVersion(const std::string& key, const std::string& version);
void deleteJavaSoftKeys();

// SOFTWARE\brenmark\vexon\locatedjvms\<path with "/"> under root.
bool writeLocatedJvm(HKEY root, const std::string& javaExe);
void deleteLocatedJvms();

// SOFTWARE\brenmark\sealdeck\installations, value appId = the ";"-joined directories.
bool writePreviousInstallations(HKEY root, const std::string& appId, const std::vector<std::string>& directories);
void deletePreviousInstallations(HKEY root, const std::string& appId);

// The per-user version cache (HKEY_CURRENT_USER\SOFTWARE\brenmark\vexon\jvms).
void clearVersionCache();
// Writes one cache entry as given: the last-write time and the raw "Version" bytes.
bool writeVersionCacheEntry(const std::string& javaExe, const FILETIME& lastWrite, const std::string& versionBytes);
// The "Version" text of an entry; false when there is none.
bool readVersionCacheEntry(const std::string& javaExe, std::string& version);

// The lines a stand-in java recorded in its run file (SLDK_JAVA_RUNS).
std::vector<std::string> recordedJavaRuns(const std::string& runsFile);

// The stand-in VM's trace file, one entry a line (a trailing "\r" removed); empty when the
// file is missing.
std::vector<std::string> traceLines(const std::wstring& path);
// The rest of every line that starts with prefix, in order.
std::vector<std::string> traced(const std::vector<std::string>& lines, const std::string& prefix);
