// The included runtime archive read back by the installer's own tar reader, into nothing:
// what passes here is what the launcher's untar accepts.
#include "tools/sldkpack/cli/cli.h"

#include "launchcore/diagnostics.h"
#include "setuplauncher/tar_archive.h"
#include "setuplauncher/tar_stream.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <unistd.h>

namespace sldkpack {
namespace {

namespace fs = std::filesystem;

std::vector<std::string>& readerLines() {
    static std::vector<std::string> lines;
    return lines;
}

// The reader logs every member ("extracting ..."); the other lines say what went wrong.
void keepProblems(bool isError, const std::string& line) {
    if (line.rfind("extracting ", 0) != 0)
        readerLines().push_back((isError ? "ERROR: " : "") + line);
}

struct CountingOutput final : TarOutput {
    size_t members = 0;
    void makeDirectory(const std::string&) override { ++members; }
    bool openFile(const std::string&) override {
        ++members;
        return true;
    }
    size_t writeFile(const char*, size_t size) override { return size; }
    void closeFile() override {}
    void reportPosition(int64_t, bool) override {}
};

// The reader works on a file (zlib's gz functions), so the bytes go to a private temporary one.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::vector<uint8_t>& bytes) {
        std::string pattern = (fs::temp_directory_path() / "sldkpack-runtime-XXXXXX").string();
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0)
            throw PackError("cannot create a temporary file in '" + fs::temp_directory_path().string() +
                            "': " + std::generic_category().message(errno));
        path_ = pattern;
        size_t written = 0;
        while (written < bytes.size()) {
            const ssize_t put = ::write(fd, bytes.data() + written, bytes.size() - written);
            if (put <= 0) {
                const int error = errno;
                ::close(fd);
                throw PackError("cannot write the temporary file '" + path_ +
                                "': " + std::generic_category().message(error));
            }
            written += static_cast<size_t>(put);
        }
        ::close(fd);
    }
    ~TemporaryFile() { ::unlink(path_.c_str()); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace

RuntimeArchiveReport checkRuntimeArchive(const std::vector<uint8_t>& gzipBytes) {
    const TemporaryFile file(gzipBytes);
    RuntimeArchiveReport report;
    readerLines().clear();
    setDiagnosticSink(keepProblems);
    TarStream stream;
    CountingOutput output;
    report.intact = stream.open(file.path()) && extractTarMembers(stream, output);
    setDiagnosticSink(nullptr);
    report.members = output.members;
    report.unpacked = stream.position();
    if (!report.intact) {
        for (const std::string& line : readerLines())
            report.problem += (report.problem.empty() ? "" : "; ") + line;
        if (report.problem.empty())
            report.problem = "the launcher's untar fails on it";
        report.problem += " (after " + std::to_string(report.members) + " members, at byte " +
                          std::to_string(report.unpacked) + " of the tar stream)";
    }
    return report;
}

std::string describeRuntimeArchive(uint64_t size, size_t members, int64_t unpacked) {
    return "runtime-archive: " + std::to_string(size) + " bytes, " + std::to_string(members) + " members, " +
           std::to_string(unpacked) + " bytes unpacked";
}

} // namespace sldkpack
