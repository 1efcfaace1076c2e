#include "setuplauncher/windows/untar_archive.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "launchcore/windows/base/system_text.h"
#include "launchcore/windows/base/wide_format.h"
#include "launchcore/windows/exit/fatal_exit.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "setuplauncher/tar_archive.h"
#include "setuplauncher/tar_progress.h"
#include "setuplauncher/tar_stream.h"
#include "setuplauncher/windows/progress_scale.h"

namespace {

constexpr DWORD kProgressIntervalMs = 200;

// The files are unbuffered (see openFile): a close has nothing left to write.
struct StdioCloser {
    void operator()(FILE* file) const { (void)std::fclose(file); }
};

// Members go to the current directory: the reader has checked every name to stay below it.
class FileSystemTarOutput final : public TarOutput {
public:
    FileSystemTarOutput(HWND window, int64_t total) : window_(window), total_(total) {}

    void makeDirectory(const std::string& path) override { CreateDirectoryA(path.c_str(), nullptr); }

    bool openFile(const std::string& path) override
    {
        file_.reset(std::fopen(path.c_str(), "wb"));
        if (!file_) {
            const std::wstring text = formatWide(L"Could not open file %S\n", path.c_str());
            logError(L"%s", text.c_str());
            fatalError(text);
        }
        // Unbuffered: the reader writes whole blocks, and fwrite's count is then what reached
        // the file, so a full disk shows in the count rather than in a close nobody checks.
        // (For an open stream with these arguments it cannot fail.)
        (void)std::setvbuf(file_.get(), nullptr, _IONBF, 0);
        return true;
    }

    size_t writeFile(const char* data, size_t size) override { return std::fwrite(data, 1, size, file_.get()); }

    void closeFile() override { file_.reset(); }

    void reportPosition(int64_t position, bool memberStart) override
    {
        if (!window_)
            return;
        const DWORD now = GetTickCount();
        if (!memberStart && now - lastShown_ < kProgressIntervalMs)
            return;
        lastShown_ = now;
        if (const std::optional<int> shown = untarProgressPosition(position, total_))
            setProgressPosition(window_, *shown);
    }

private:
    HWND window_;
    int64_t total_;
    std::unique_ptr<FILE, StdioCloser> file_;
    DWORD lastShown_ = 0;
};

} // namespace

bool untarArchive(const char* archive, const char* target, HWND window, int64_t total)
{
    const std::optional<std::string> saved =
        fillGrowing<char>([](char* buffer, DWORD size) { return GetCurrentDirectoryA(size, buffer); });
    TarStream stream;
    if (!stream.open(archive)) {
        logError(L"Could not open gz-file");
        return false;
    }
    // A failed change leaves the members in the current directory; so does a current
    // directory that cannot be read, since it could not be restored.
    const bool changed = saved && SetCurrentDirectoryA(target);
    FileSystemTarOutput output(window, total);
    const bool success = extractTarMembers(stream, output);
    if (changed)
        SetCurrentDirectoryA(saved->c_str());
    stream.close();
    if (success)
        logLine(L"untaring JRE was successful");
    else
        logError(L"untaring JRE was unsuccessful");
    return success;
}
