// Builds launchers on the fly for the Windows tests and reads back what they leave behind:
// the stub from beside the test program, a model from the packager library, a fresh folder
// per test, the diagnostic logs, and deliberate damage to the appended data.
#pragma once

#include "testing/test_files.h"
#include "tools/sldkpack/packer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

inline constexpr const wchar_t* kSetupStub = L"setuplauncher.exe";
inline constexpr const wchar_t* kServiceStub = L"servicelauncher.exe";

// The running test program, and its folder, where the stubs are built.
std::wstring testProgramPath();
std::wstring testProgramDirectory();

std::optional<std::vector<uint8_t>> readFileBytes(const std::wstring& path);
bool writeFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes);
bool fileExists(const std::wstring& path);
bool directoryExists(const std::wstring& path);

// A stub from testProgramDirectory(); empty when it cannot be read.
std::vector<uint8_t> readStub(const wchar_t* stubName);

// A fresh, empty folder %TEMP%\sldk-tests\<test name>-<pid>-<n>. It is removed when the
// owner goes away, unless the current test failed or SLDK_KEEP_SCRATCH is set (then it is
// left for a look).
class ScratchDirectory {
public:
    ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    ~ScratchDirectory();

    const std::wstring& path() const { return path_; }
    // path() followed by "\" and the name.
    std::wstring file(const std::wstring& name) const;
    // A new empty subfolder.
    std::wstring subdirectory(const std::wstring& name) const;

private:
    std::wstring path_;
};

// A model that loads cleanly: the default messages, application kind 107 and the sealdeck
// product kind.
sldkpack::LauncherModel basicModel(const std::string& applicationKind);

// Writes stub + appended data to directory\fileName and returns the full path; empty when
// the stub is missing or the file cannot be written (the test has then failed already).
std::wstring buildLauncherFile(const wchar_t* stubName, const sldkpack::LauncherModel& model,
                               const std::wstring& directory, const std::wstring& fileName);
// The bare stub, copied without appended data.
std::wstring copyBareStub(const wchar_t* stubName, const std::wstring& directory, const std::wstring& fileName);

// The child environment for a launcher run: TMP and TEMP point to tempDirectory (the
// launcher's temporary directory and log come from them), and the keep-log variables of
// the test's own environment are removed.
std::vector<std::pair<std::wstring, std::wstring>> launcherEnvironment(const std::wstring& tempDirectory);

struct LogFile {
    bool hasByteOrderMark = false;
    std::string text; // UTF-8, without the byte order mark, CRLF turned into LF
};
std::optional<LogFile> readLog(const std::wstring& path);

// The full paths of the "sldk_nlog_*.log" files in a folder, by ascending number.
std::vector<std::wstring> listLogs(const std::wstring& directory);

int countOccurrences(const std::string& text, const std::string& needle);

std::string toUtf8(const std::wstring& text);
std::wstring fromUtf8(const std::string& text);

// Damage to a file for the loader's failure paths.
bool truncateFile(const std::wstring& path, uint64_t size);
bool overwriteBytes(const std::wstring& path, uint64_t offset, const std::vector<uint8_t>& bytes);

// Where the parts of the appended data of a launcher file lie (file offsets), read by a
// walk of its own so that tests can aim damage at one field.
struct AppendedLayout {
    uint64_t appendedStart = 0;   // the magic
    uint64_t configStart = 0;     // the configuration count
    uint64_t messagesStart = 0;   // the message count
    uint64_t localeStart = 0;     // the locale block count
    uint64_t payloadStart = 0;    // after the locale blocks
    struct Entry {
        int32_t id = 0;
        uint64_t lengthOffset = 0; // the signed length field
        int32_t length = 0;
    };
    std::vector<Entry> configEntries;
    std::vector<Entry> messageEntries;
};
std::optional<AppendedLayout> describeAppendedData(const std::vector<uint8_t>& file);
std::optional<AppendedLayout> describeAppendedData(const std::wstring& path);
