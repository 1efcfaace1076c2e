// The version of a java executable: the per-user version cache in the registry and the
// "-version" run that fills it.
#pragma once

#include <windows.h>

#include <string>

// How long a "-version" run may take before it is terminated.
inline constexpr DWORD kDefaultVersionQueryTimeoutMs = 60000;

// The cached version of the executable when the entry matches its last-write time byte for
// byte. Entries holding one of the old truncated texts count as absent; "1.0.0" (a failed
// run) is returned, the caller decides.
bool readCachedVersion(const std::string& javaExe, const FILETIME& lastWrite, std::string& version);
void writeCachedVersion(const std::string& javaExe, const FILETIME& lastWrite, const std::string& version);

// Runs the executable (through its short name when there is one) with "-version" and takes
// the version from its standard error. A run that ends with a non-zero code is remembered
// in the cache as "1.0.0".
bool queryJavaVersion(const std::string& javaExe, const FILETIME& lastWrite, std::string& version,
                      DWORD timeoutMs = kDefaultVersionQueryTimeoutMs);

// The same with the program path given as it goes into the command line.
bool runVersionQuery(const std::string& commandPath, const std::string& javaExe, const FILETIME& lastWrite,
                     std::string& version, DWORD timeoutMs = kDefaultVersionQueryTimeoutMs);
