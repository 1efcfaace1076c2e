// The sldkpack command line: `build`, `inspect` and `verify`. Callable in-process so the
// tests drive it exactly as a script would.
#pragma once

#include "tools/sldkpack/packer.h"
#include "tools/sldkpack/runtime_archive.h"

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sldkpack {

// Exit codes every command shares.
constexpr int kExitOk = 0;
constexpr int kExitDamaged = 1; // the launcher's appended data is damaged
constexpr int kExitBadInput = 2; // bad arguments, unreadable or invalid input; nothing written

int sldkpackMain(int argc, char** argv, std::ostream& out, std::ostream& err);

// UTF-8 to Windows-1252 (the launcher's 8-bit configuration text); empty when a character
// has no Windows-1252 byte or the input is not UTF-8.
std::optional<std::string> utf8ToWindows1252(std::string_view utf8);

// Reads the TOML description; relative paths resolve against the TOML file's folder.
// Throws PackError naming the problem.
LauncherModel loadModel(const std::filesystem::path& tomlFile);

// Whole-file read; throws PackError("cannot read <what> '<path>': <reason>").
std::vector<uint8_t> readFileBytes(const std::filesystem::path& path, const std::string& what);

// The included runtime archive of a runtime directory, walked in byte order of the names;
// directories and regular files only (a symbolic link or any other kind of file is refused,
// so the runtime is never packed incomplete). Throws PackError naming the problem.
RuntimeArchive packRuntimeDirectory(const std::filesystem::path& directory);

struct RuntimeArchiveReport {
    bool intact = false;
    size_t members = 0;   // directories and files the reader handed out
    int64_t unpacked = 0; // uncompressed bytes read
    std::string problem;  // the reader's log lines when it failed
};
// Runs the installer's tar reader over the gzip bytes of a runtime archive.
RuntimeArchiveReport checkRuntimeArchive(const std::vector<uint8_t>& gzipBytes);
// "runtime-archive: N bytes, M members, U bytes unpacked", as build, inspect and verify print it.
std::string describeRuntimeArchive(uint64_t size, size_t members, int64_t unpacked);

int runInspect(const std::filesystem::path& launcher, std::ostream& out, std::ostream& err);
int runVerify(const std::filesystem::path& launcher, std::ostream& out, std::ostream& err);

} // namespace sldkpack
