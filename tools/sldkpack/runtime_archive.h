// The included runtime archive "jre.tar.gz": a ustar stream with GNU long-name members,
// compressed with gzip. Windows-free; the command line fills it from a runtime directory,
// tests from memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sldkpack {

inline constexpr char kRuntimeArchiveName[] = "jre.tar.gz";
// The launcher reads entry 151 (the tar length) and every member size as a 32-bit signed
// integer, so the tar stream stays below 2 GiB.
inline constexpr uint64_t kRuntimeTarLimit = 0x7FFFFFFFu;

struct RuntimeArchive {
    std::vector<uint8_t> bytes; // the gzip file
    uint64_t tarSize = 0;       // the uncompressed length, end blocks included (entry 151)
    size_t memberCount = 0;     // directories and files; long-name headers are not counted
};

// Why the launcher's untar would refuse a member name or create something else than it
// says on Windows; empty for a name it can be written under. Names are relative, with "/"
// separators, without a trailing "/" (directories get theirs when written).
std::optional<std::string> refusedMemberName(std::string_view name, bool directory);

// Writes the archive member by member and compresses as it goes; members go in as given
// (parents before their children, in the caller's order), with mtime 0 and mode 0644, or
// 0755 for directories and executable files. Every add and finish throws PackError for a
// refused name or for a tar stream that would pass tarLimit.
class RuntimeArchiveWriter {
public:
    explicit RuntimeArchiveWriter(uint64_t tarLimit = kRuntimeTarLimit);
    ~RuntimeArchiveWriter();
    RuntimeArchiveWriter(const RuntimeArchiveWriter&) = delete;
    RuntimeArchiveWriter& operator=(const RuntimeArchiveWriter&) = delete;

    void addDirectory(const std::string& name);
    void addFile(const std::string& name, const std::vector<uint8_t>& bytes, bool executable);
    // The end blocks and the gzip trailer. An archive without a regular file is refused: the
    // launcher's untar counts it as a failure.
    RuntimeArchive finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace sldkpack
