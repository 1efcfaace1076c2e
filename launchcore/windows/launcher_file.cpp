#include "launchcore/windows/launcher_file.h"

#include <algorithm>
#include <cstring>
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
// The configuration and the messages of a launcher are a few kilobytes.
constexpr DWORD kRecordReadAhead = 16384;

// With readAhead, reads in blocks of that size: the record is read a few bytes at a time, and
// under Wine each ReadFile, seek and size query is a call into the system, about 260 for a
// small record. The handle is left where the reader stopped, as the readers that follow on
// it expect. Without, every read is one ReadFile (the single values before included files).
class FileByteSource final : public ByteSource {
public:
    explicit FileByteSource(HANDLE file, DWORD readAhead = 0) : file_(file), readAhead_(readAhead) {}
    FileByteSource(const FileByteSource&) = delete;
    FileByteSource& operator=(const FileByteSource&) = delete;
    ~FileByteSource() override
    {
        if (!block_.empty())
            moveHandle(blockStart_ + static_cast<int64_t>(used_));
    }

    bool seek(int64_t position) override
    {
        if (!block_.empty() && position >= blockStart_ &&
            position <= blockStart_ + static_cast<int64_t>(block_.size())) {
            used_ = static_cast<size_t>(position - blockStart_);
            return true;
        }
        block_.clear();
        used_ = 0;
        return moveHandle(position);
    }

    int64_t position() const override
    {
        if (!block_.empty())
            return blockStart_ + static_cast<int64_t>(used_);
        LARGE_INTEGER zero{};
        LARGE_INTEGER current{};
        if (!SetFilePointerEx(file_, zero, &current, FILE_CURRENT))
            return -1;
        return current.QuadPart;
    }

    int64_t size() const override
    {
        // Once per record: the launcher file does not change while it is read.
        if (size_ < 0) {
            LARGE_INTEGER size{};
            if (GetFileSizeEx(file_, &size))
                size_ = size.QuadPart;
        }
        return size_;
    }

    bool read(void* buffer, uint32_t length, uint32_t& got, uint32_t& systemError) override
    {
        auto* target = static_cast<uint8_t*>(buffer);
        got = 0;
        systemError = 0;
        if (readAhead_ == 0) {
            DWORD transferred = 0;
            const BOOL ok = ReadFile(file_, buffer, length, &transferred, nullptr);
            got = transferred;
            systemError = ok ? 0 : GetLastError();
            return ok != FALSE;
        }
        while (got < length) {
            if (used_ == block_.size()) {
                // The handle stands at the end of the block (or where a seek put it).
                const int64_t next = position();
                if (next < 0 && block_.empty()) {
                    systemError = GetLastError();
                    return false;
                }
                // Large reads (the included files) go straight to the caller's buffer.
                if (length - got >= readAhead_) {
                    block_.clear();
                    used_ = 0;
                    DWORD transferred = 0;
                    const BOOL ok = ReadFile(file_, target + got, length - got, &transferred, nullptr);
                    got += transferred;
                    systemError = ok ? 0 : GetLastError();
                    return ok != FALSE;
                }
                blockStart_ = next;
                block_.resize(readAhead_);
                used_ = 0;
                DWORD transferred = 0;
                const BOOL ok = ReadFile(file_, block_.data(), readAhead_, &transferred, nullptr);
                block_.resize(ok ? transferred : 0);
                if (!ok) {
                    systemError = GetLastError();
                    moveHandle(blockStart_);
                    return false;
                }
                if (transferred == 0) {
                    block_.clear();
                    return true; // the end of the file: a short read
                }
            }
            const size_t piece = std::min<size_t>(block_.size() - used_, length - got);
            std::memcpy(target + got, block_.data() + used_, piece);
            used_ += piece;
            got += static_cast<uint32_t>(piece);
        }
        return true;
    }

private:
    bool moveHandle(int64_t position) const
    {
        LARGE_INTEGER target;
        target.QuadPart = position;
        return SetFilePointerEx(file_, target, nullptr, FILE_BEGIN) != FALSE;
    }

    HANDLE file_;
    DWORD readAhead_;
    std::vector<uint8_t> block_; // the bytes from blockStart_ on; the handle stands after them
    int64_t blockStart_ = 0;
    size_t used_ = 0;
    mutable int64_t size_ = -1;
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
    FileByteSource source(file, kRecordReadAhead);
    int64_t start = 0;
    if (const auto error = seekAppendedData(source, start))
        failedAppendedDataRead(*error);
}

std::optional<AppendedDataError> readAppendedRecord(HANDLE file, AppendedRecord& record)
{
    FileByteSource source(file, kRecordReadAhead);
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
