#include "launchcore/windows/launcher_file.h"

#include <algorithm>
#include <vector>

#include "launchcore/appended_data_format.h"
#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/exit/fatal_exit.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/process_paths.h"

namespace {

// Included files can be hundreds of megabytes (a bundled runtime): with small chunks the
// per-call cost of ReadFile and WriteFile, not the disk, sets the extraction time.
constexpr DWORD kCopyChunk = 65536;

class FileByteSource final : public ByteSource {
public:
    explicit FileByteSource(HANDLE file) : file_(file) {}

    bool seek(int64_t position) override
    {
        LARGE_INTEGER target;
        target.QuadPart = position;
        return SetFilePointerEx(file_, target, nullptr, FILE_BEGIN) != FALSE;
    }

    int64_t position() const override
    {
        LARGE_INTEGER zero{};
        LARGE_INTEGER current{};
        if (!SetFilePointerEx(file_, zero, &current, FILE_CURRENT))
            return -1;
        return current.QuadPart;
    }

    int64_t size() const override
    {
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file_, &size))
            return -1;
        return size.QuadPart;
    }

    bool read(void* buffer, uint32_t length, uint32_t& got, uint32_t& systemError) override
    {
        DWORD transferred = 0;
        const BOOL ok = ReadFile(file_, buffer, length, &transferred, nullptr);
        got = transferred;
        systemError = ok ? 0 : GetLastError();
        return ok != FALSE;
    }

private:
    HANDLE file_;
};

} // namespace

[[noreturn]] void failedAppendedDataRead(const AppendedDataError& error)
{
    switch (error.kind) {
    case AppendedDataFailure::ReadInt:
        logLine(L"error %d %d\n", static_cast<int>(error.systemError), static_cast<int>(error.bytesRead));
        break;
    case AppendedDataFailure::ReadLong:
    case AppendedDataFailure::ReadShort:
        logLine(L"error %d\n", static_cast<int>(error.systemError));
        break;
    case AppendedDataFailure::ReadString:
    case AppendedDataFailure::ReadWString:
    case AppendedDataFailure::Magic:
        break;
    }
    fatalError(widenBytesW(fatalText(error.kind)));
}

unique_file openLauncherFile()
{
    // Write sharing lets the open succeed while another process (a copier, a scanner) holds
    // the executable open for writing.
    return unique_file(CreateFileW(moduleLongPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

unique_file openLauncherFileOrExit()
{
    unique_file file = openLauncherFile();
    if (!file) {
        logError(L"Could not open %p %d %s", INVALID_HANDLE_VALUE, static_cast<int>(GetLastError()),
                 moduleLongPath().c_str());
        fatalError(L"Error opening media file.");
    }
    return file;
}

void seekAppendedData(HANDLE file)
{
    FileByteSource source(file);
    int64_t start = 0;
    if (const auto error = seekAppendedData(source, start))
        failedAppendedDataRead(*error);
}

std::optional<AppendedDataError> readAppendedRecord(HANDLE file, AppendedRecord& record)
{
    FileByteSource source(file);
    return readAppendedRecord(source, record);
}

int64_t readLengthOrExit(HANDLE file)
{
    FileByteSource source(file);
    int64_t value = 0;
    if (const auto error = readAppendedLength(source, value))
        failedAppendedDataRead(*error);
    return value;
}

uint32_t readWordOrExit(HANDLE file)
{
    FileByteSource source(file);
    uint32_t value = 0;
    if (const auto error = readAppendedWord(source, value))
        failedAppendedDataRead(*error);
    return value;
}

int64_t filePosition(HANDLE file) { return FileByteSource(file).position(); }

int copyUnscrambled(HANDLE source, HANDLE target, int64_t length, bool unscramble)
{
    if (length <= 0)
        return 0;
    std::vector<uint8_t> buffer(kCopyChunk);
    int64_t copied = 0;
    while (copied < length) {
        const DWORD wanted = static_cast<DWORD>(std::min<int64_t>(length - copied, kCopyChunk));
        DWORD got = 0;
        const BOOL readOk = ReadFile(source, buffer.data(), wanted, &got, nullptr);
        if (!readOk || got == 0) {
            const DWORD error = readOk ? 0 : GetLastError();
            logError(L"ReadFile failed %d %d %I64d", static_cast<int>(got), static_cast<int>(error), copied);
            return 1;
        }
        if (unscramble) {
            for (DWORD i = 0; i < got; ++i)
                buffer[i] ^= kPayloadScramble;
        }
        DWORD offset = 0;
        while (offset < got) {
            DWORD written = 0;
            const BOOL writeOk = WriteFile(target, buffer.data() + offset, got - offset, &written, nullptr);
            // A write that reports success without taking a byte would otherwise repeat forever.
            if (!writeOk || written == 0) {
                const DWORD error = writeOk ? 0 : GetLastError();
                logError(L"WriteFile failed %d %d", static_cast<int>(got - offset), static_cast<int>(error));
                return 2;
            }
            offset += written;
        }
        copied += got;
    }
    return 0;
}
