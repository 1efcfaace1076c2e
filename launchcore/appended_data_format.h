// The data a packaging tool appends behind an executable's last PE section: header,
// configuration record, message table, locale blocks, then the payload. This reader is
// Windows-free; the launcher feeds it from its own file handle and `sldkpack inspect`
// from a file in memory.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

constexpr uint32_t kAppendedDataMagic = 0xE8E413D5u;
constexpr uint8_t kPayloadScramble = 0x3C;

// Where the reader stopped. The launcher ends the process with fatalText(kind) after
// logging what a failed read reports.
enum class AppendedDataFailure { ReadInt, ReadLong, ReadShort, ReadString, ReadWString, Magic };

const char* fatalText(AppendedDataFailure kind); // "Internal Error: readInt" ...

struct AppendedDataError {
    AppendedDataFailure kind;
    uint32_t systemError = 0; // the source's error code of the failed read, 0 when none
    uint32_t bytesRead = 0;   // bytes the failed read delivered
};

// Sequential access to the executable's bytes.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Absolute position from the file start; false when the position cannot be set.
    virtual bool seek(int64_t position) = 0;
    virtual int64_t position() const = 0;
    virtual int64_t size() const = 0;
    // Reads up to length bytes; got receives what arrived. False with systemError set when
    // the read itself fails; a short read past the end returns true with got < length.
    virtual bool read(void* buffer, uint32_t length, uint32_t& got, uint32_t& systemError) = 0;
};

class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool seek(int64_t position) override;
    int64_t position() const override { return position_; }
    int64_t size() const override { return static_cast<int64_t>(size_); }
    bool read(void* buffer, uint32_t length, uint32_t& got, uint32_t& systemError) override;

private:
    const uint8_t* data_;
    size_t size_;
    int64_t position_ = 0;
};

struct AppendedHeader {
    uint32_t magic = 0;
    uint32_t integrityFlag = 0;
    uint32_t checksum = 0;
    int64_t coveredLength = 0;
};

struct LocaleBlock {
    std::string key;
    std::vector<std::pair<int32_t, std::u16string>> entries; // in file order
};

struct AppendedRecord {
    int64_t appendedStart = 0; // file position of the magic
    AppendedHeader header;
    std::map<int32_t, std::string> config;       // a repeated id keeps the later value
    std::map<int32_t, std::u16string> messages;  // the message table before locale blocks
    std::vector<LocaleBlock> localeBlocks;       // every block, in file order
    int64_t payloadStart = 0;                    // position after the locale blocks
};

// Walks the PE headers and leaves the source at the first byte after the raw data of the
// last section, which it also returns in start. Logs "number of sections: %d",
// "size of optional headers: %d", "resSectionTableStart: %d" and
// "rawDataSize: %d, rawDataOffset: %d" through the diagnostic sink.
std::optional<AppendedDataError> seekAppendedData(ByteSource& source, int64_t& start);

// Reads one signed 64-bit little-endian length (an included file's); a short read fails
// with ReadLong.
std::optional<AppendedDataError> readAppendedLength(ByteSource& source, int64_t& value);
// Reads one unsigned 32-bit little-endian word (a header field); a short read fails with
// ReadInt.
std::optional<AppendedDataError> readAppendedWord(ByteSource& source, uint32_t& value);

// Reads header, configuration record, message table and locale blocks from the current
// position. Counts of 0 or below mean no entries; negative lengths, odd UTF-16 lengths and
// lengths beyond the end of the source fail like a short read. A wrong magic fails with
// Magic before anything else is read.
std::optional<AppendedDataError> readAppendedRecord(ByteSource& source, AppendedRecord& out);

// A block applies when its key equals the first strlen(key) characters of the locale code;
// an empty key applies to every locale.
bool localeKeyMatches(std::string_view key, std::string_view localeCode);

// The message table with every matching locale block applied in file order (the last
// matching block wins for an id).
std::map<int32_t, std::u16string> messagesForLocale(const AppendedRecord& record,
                                                    std::string_view localeCode);

// The names of the payload file list (entry 2003, ";"-separated, empty names skipped),
// at most maxCount of them (entry 2002; 0 or below gives none).
std::vector<std::string> payloadFileNames(std::string_view list, int32_t maxCount);

struct IncludedFileInfo {
    std::string name;
    int64_t offset = 0; // position of the first data byte
    int64_t length = 0;
};

// Lists the included files behind the locale blocks (positions only; nothing is unscrambled)
// and returns the position after the last one, where the data for the Java side begins.
// A length of 0 or below is an empty file that takes no bytes (as the extractor sees it).
// Fails like a read when a length cannot be read or runs past the end.
std::optional<AppendedDataError> listIncludedFiles(ByteSource& source, const AppendedRecord& record,
                                                   std::vector<IncludedFileInfo>& files,
                                                   int64_t& unextractedPosition);
