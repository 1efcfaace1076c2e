// Choosing an installed Java runtime whose version lies in the configured range, and
// loading its VM library. All paths are 8-bit texts in the ANSI code page.
#pragma once

#include <windows.h>

#include <string>

#include "launchcore/version_rules.h"
#include "launchcore/windows/jvm_library.h"

// Where a runtime was found; the kind picks the message shown when its VM cannot be used.
enum class JvmLocationKind {
    None,                 // nothing passed its checks
    SearchPath,
    Directory,
    EnvironmentVariable,
    Registry,             // the registry or an earlier installation
};

struct JvmSearchResult {
    JvmLibrary library;         // the loaded jvm.dll; library.module is nullptr when none loaded
    std::string javaExe;        // full, lower-case; javaw.exe for GUI applications
    std::string version;
    JvmLocationKind locationKind = JvmLocationKind::None;
    std::string locationText;   // the directory, variable name or entry text for messages
};

// The whole search: preferred file, installer files, the search sequence of entry 128, the
// fallback pass, earlier installations, VEXON_JAVA_HOME and SEALDECK_JAVA_HOME.
JvmSearchResult findJvm();

// Normalises javaExe in place (full, lower-case; may become javaw.exe) and checks its
// version against the bounds, through the per-user version cache when useCache.
bool checkJavaExe(std::string& javaExe, std::string& version, const VersionVector& minimum,
                  const VersionVector& maximum, bool allowBeta, bool useCache);

// Restores the runtime's packed jars, derives its java executable and checks it; with
// acceptAnyway the result is true whatever the checks found.
bool checkRuntimeDirectory(std::string& javaExe, std::string& version, const std::string& directory,
                           const VersionVector& minimum, const VersionVector& maximum, bool acceptAnyway);

// The java executable of a runtime home ("\jre\bin\java.exe", else "\bin\java.exe"); with
// entry 131 (JDK only) whether the home has "lib\tools.jar".
bool javaExeForHome(std::string& javaExe, const std::string& home);

// Remembers a java executable the user located by hand (machine, else user).
void registerLocatedJvm(const std::string& javaExe);
