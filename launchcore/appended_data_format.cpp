#include "launchcore/appended_data_format.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "launchcore/configuration.h"
#include "launchcore/configuration_entries.h"
#include "launchcore/diagnostics.h"
#include "launchcore/text.h"

const char* fatalText(AppendedDataFailure kind)
{
    switch (kind) {
    case AppendedDataFailure::ReadInt:
        return "Internal Error: readInt";
    case AppendedDataFailure::ReadLong:
        return "Internal Error: readLong";
    case AppendedDataFailure::ReadShort:
        return "Internal Error: readShort";
    case AppendedDataFailure::ReadString:
        return "Internal Error: readString";
    case AppendedDataFailure::ReadWString:
        return "Internal Error: readWString";
    case AppendedDataFailure::Magic:
        return "Internal Error: magic";
    }
    return "Internal Error";
}

bool MemoryByteSource::seek(int64_t position)
{
    if (position < 0 || position > size())
        return false;
    position_ = position;
    return true;
}

bool MemoryByteSource::read(void* buffer, uint32_t length, uint32_t& got, uint32_t& systemError)
{
    systemError = 0;
    const int64_t left = size() - position_;
    const auto count = static_cast<uint32_t>(left < int64_t{length} ? left : int64_t{length});
    if (count > 0)
        std::memcpy(buffer, data_ + position_, count);
    position_ += count;
    got = count;
    return true;
}

namespace {

using Failure = std::optional<AppendedDataError>;

AppendedDataError failure(AppendedDataFailure kind, uint32_t systemError = 0, uint32_t bytesRead = 0)
{
    return AppendedDataError{kind, systemError, bytesRead};
}

// Fills buffer completely or reports the read as failed with kind.
Failure readExact(ByteSource& source, void* buffer, uint32_t length, AppendedDataFailure kind)
{
    uint32_t got = 0;
    uint32_t systemError = 0;
    if (!source.read(buffer, length, got, systemError))
        return failure(kind, systemError, got);
    if (got < length)
        return failure(kind, 0, got);
    return std::nullopt;
}

Failure readU32(ByteSource& source, uint32_t& value, AppendedDataFailure kind = AppendedDataFailure::ReadInt)
{
    uint8_t b[4];
    if (auto error = readExact(source, b, sizeof b, kind))
        return error;
    value = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
    return std::nullopt;
}

// Counts, lengths and ids are stored as u32 but mean signed 32-bit values.
Failure readI32(ByteSource& source, int32_t& value, AppendedDataFailure kind = AppendedDataFailure::ReadInt)
{
    uint32_t raw = 0;
    if (auto error = readU32(source, raw, kind))
        return error;
    value = static_cast<int32_t>(raw);
    return std::nullopt;
}

Failure readI16(ByteSource& source, int16_t& value)
{
    uint8_t b[2];
    if (auto error = readExact(source, b, sizeof b, AppendedDataFailure::ReadShort))
        return error;
    value = static_cast<int16_t>(uint16_t{b[0]} | uint16_t{b[1]} << 8);
    return std::nullopt;
}

Failure readI64(ByteSource& source, int64_t& value)
{
    uint8_t b[8];
    if (auto error = readExact(source, b, sizeof b, AppendedDataFailure::ReadLong))
        return error;
    uint64_t raw = 0;
    for (int i = 7; i >= 0; --i)
        raw = raw << 8 | b[i];
    value = static_cast<int64_t>(raw);
    return std::nullopt;
}

int64_t bytesLeft(const ByteSource& source) { return source.size() - source.position(); }

// A length is checked against what the source still holds before anything is allocated,
// so a crafted length can neither overflow a buffer nor ask for gigabytes.
Failure checkedLength(ByteSource& source, int32_t& length, AppendedDataFailure kind)
{
    if (auto error = readI32(source, length))
        return error;
    if (length < 0 || int64_t{length} > bytesLeft(source))
        return failure(kind);
    if (kind == AppendedDataFailure::ReadWString && length % 2 != 0)
        return failure(kind);
    return std::nullopt;
}

Failure readString(ByteSource& source, std::string& out)
{
    int32_t length = 0;
    if (auto error = checkedLength(source, length, AppendedDataFailure::ReadString))
        return error;
    out.assign(static_cast<size_t>(length), '\0');
    if (length > 0) {
        if (auto error = readExact(source, out.data(), static_cast<uint32_t>(length), AppendedDataFailure::ReadString))
            return error;
    }
    return std::nullopt;
}

Failure readWString(ByteSource& source, std::u16string& out)
{
    int32_t length = 0;
    if (auto error = checkedLength(source, length, AppendedDataFailure::ReadWString))
        return error;
    std::string bytes(static_cast<size_t>(length), '\0');
    if (length > 0) {
        if (auto error = readExact(source, bytes.data(), static_cast<uint32_t>(length), AppendedDataFailure::ReadWString))
            return error;
    }
    out.assign(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                       static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
    }
    return std::nullopt;
}

// A position outside the file fails like the read that would follow it.
Failure seekTo(ByteSource& source, int64_t position, AppendedDataFailure kind)
{
    if (position < 0 || position > source.size() || !source.seek(position))
        return failure(kind);
    return std::nullopt;
}

// The launcher seeks through its PE headers with signed 32-bit distances from the file start.
Failure seekPe(ByteSource& source, int64_t position, AppendedDataFailure kind)
{
    if (position > std::numeric_limits<int32_t>::max())
        return failure(kind);
    return seekTo(source, position, kind);
}

} // namespace

std::optional<AppendedDataError> readAppendedLength(ByteSource& source, int64_t& value)
{
    return readI64(source, value);
}

std::optional<AppendedDataError> readAppendedWord(ByteSource& source, uint32_t& value)
{
    return readU32(source, value);
}

std::optional<AppendedDataError> seekAppendedData(ByteSource& source, int64_t& start)
{
    using enum AppendedDataFailure;

    uint32_t peOffset = 0;
    if (auto error = seekPe(source, 60, ReadInt))
        return error;
    if (auto error = readU32(source, peOffset))
        return error;
    const int64_t e = static_cast<int32_t>(peOffset);

    int16_t sections = 0;
    if (auto error = seekPe(source, e + 6, ReadShort))
        return error;
    if (auto error = readI16(source, sections))
        return error;
    diagnosticLine("number of sections: %d", int{sections});

    int16_t optionalHeaderSize = 0;
    if (auto error = seekPe(source, e + 20, ReadShort))
        return error;
    if (auto error = readI16(source, optionalHeaderSize))
        return error;
    diagnosticLine("size of optional headers: %d", int{optionalHeaderSize});

    const int64_t lastSectionHeader = e + optionalHeaderSize + 40 * int64_t{sections} - 16;
    diagnosticLine("resSectionTableStart: %d", static_cast<int>(lastSectionHeader));

    uint32_t rawDataSize = 0;
    uint32_t rawDataOffset = 0;
    if (auto error = seekPe(source, lastSectionHeader + 16, ReadInt))
        return error;
    if (auto error = readU32(source, rawDataSize))
        return error;
    if (auto error = seekPe(source, lastSectionHeader + 20, ReadInt))
        return error;
    if (auto error = readU32(source, rawDataOffset))
        return error;
    diagnosticLine("rawDataSize: %d, rawDataOffset: %d", static_cast<int>(rawDataSize), static_cast<int>(rawDataOffset));

    // The magic is read next: a start outside the file fails as that read.
    const int64_t end = int64_t{rawDataOffset} + int64_t{rawDataSize};
    if (auto error = seekPe(source, end, ReadInt))
        return error;
    start = end;
    return std::nullopt;
}

std::optional<AppendedDataError> readAppendedRecord(ByteSource& source, AppendedRecord& out)
{
    using enum AppendedDataFailure;

    out = AppendedRecord{};
    out.appendedStart = source.position();

    if (auto error = readU32(source, out.header.magic))
        return error;
    if (out.header.magic != kAppendedDataMagic)
        return failure(Magic);
    if (auto error = readU32(source, out.header.integrityFlag))
        return error;
    if (auto error = readU32(source, out.header.checksum))
        return error;
    if (auto error = readI64(source, out.header.coveredLength))
        return error;

    int32_t count = 0;
    if (auto error = readI32(source, count))
        return error;
    for (int32_t i = 0; i < count; ++i) {
        int32_t id = 0;
        std::string value;
        if (auto error = readI32(source, id))
            return error;
        if (auto error = readString(source, value))
            return error;
        out.config[id] = std::move(value);
    }

    if (auto error = readI32(source, count))
        return error;
    for (int32_t i = 0; i < count; ++i) {
        int32_t id = 0;
        std::u16string text;
        if (auto error = readI32(source, id))
            return error;
        if (auto error = readWString(source, text))
            return error;
        out.messages[id] = std::move(text);
    }

    int32_t blocks = 0;
    if (auto error = readI32(source, blocks))
        return error;
    for (int32_t b = 0; b < blocks; ++b) {
        LocaleBlock block;
        if (auto error = readString(source, block.key))
            return error;
        if (auto error = readI32(source, count))
            return error;
        for (int32_t i = 0; i < count; ++i) {
            int32_t id = 0;
            std::u16string text;
            if (auto error = readI32(source, id))
                return error;
            if (auto error = readWString(source, text))
                return error;
            block.entries.emplace_back(id, std::move(text));
        }
        out.localeBlocks.push_back(std::move(block));
    }

    out.payloadStart = source.position();
    return std::nullopt;
}

bool localeKeyMatches(std::string_view key, std::string_view localeCode)
{
    // The key is compared as the C string it is stored as.
    key = key.substr(0, key.find('\0'));
    return localeCode.substr(0, key.size()) == key;
}

std::map<int32_t, std::u16string> messagesForLocale(const AppendedRecord& record, std::string_view localeCode)
{
    std::map<int32_t, std::u16string> messages = record.messages;
    for (const LocaleBlock& block : record.localeBlocks) {
        if (!localeKeyMatches(block.key, localeCode))
            continue;
        for (const auto& [id, text] : block.entries)
            messages[id] = text;
    }
    return messages;
}

std::vector<std::string> payloadFileNames(std::string_view list, int32_t maxCount)
{
    std::vector<std::string> names = splitSkippingEmpty(list, ';');
    names.resize(std::min<size_t>(names.size(), static_cast<size_t>(std::max<int32_t>(maxCount, 0))));
    return names;
}

std::optional<AppendedDataError> listIncludedFiles(ByteSource& source, const AppendedRecord& record,
                                                   std::vector<IncludedFileInfo>& files,
                                                   int64_t& unextractedPosition)
{
    using enum AppendedDataFailure;

    files.clear();
    const auto entry = [&record](int32_t id) -> std::string_view {
        const auto it = record.config.find(id);
        return it == record.config.end() ? std::string_view{} : std::string_view{it->second};
    };
    const std::vector<std::string> names =
        payloadFileNames(entry(config_entry::kIncludedFileList), parseConfigInt(entry(config_entry::kIncludedFileCount)));

    if (auto error = seekTo(source, record.payloadStart, ReadLong))
        return error;
    for (const std::string& name : names) {
        int64_t length = 0;
        if (auto error = readI64(source, length))
            return error;
        const int64_t offset = source.position();
        // The extractor creates no file for a length of 0 or below and reads on from here.
        if (length < 0)
            length = 0;
        if (length > bytesLeft(source))
            return failure(ReadLong);
        if (auto error = seekTo(source, offset + length, ReadLong))
            return error;
        files.push_back(IncludedFileInfo{name, offset, length});
    }
    unextractedPosition = source.position();
    return std::nullopt;
}
