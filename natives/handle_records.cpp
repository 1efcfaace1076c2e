#include "natives/handle_records.h"

#include <cstring>

namespace {

template <typename Value>
Value readAt(const unsigned char* data, size_t offset)
{
    Value value;
    std::memcpy(&value, data + offset, sizeof value);
    return value;
}

constexpr size_t kExtendedHeader = 16;
constexpr size_t kExtendedRecord = 40;
constexpr size_t kHeader = 8;
constexpr size_t kRecord = 24;

// How many whole records the data holds of the count it states.
size_t recordsHeld(uint64_t count, size_t size, size_t header, size_t record)
{
    if (size < header)
        return 0;
    const uint64_t held = (size - header) / record;
    return static_cast<size_t>(count < held ? count : held);
}

} // namespace

std::vector<SystemHandleRecord> parseExtendedHandleTable(const unsigned char* data, size_t size)
{
    std::vector<SystemHandleRecord> records;
    if (!data || size < kExtendedHeader)
        return records;
    const size_t count = recordsHeld(readAt<uint64_t>(data, 0), size, kExtendedHeader, kExtendedRecord);
    records.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        // Object address, process id, handle value, granted access, then fields not used.
        const size_t at = kExtendedHeader + i * kExtendedRecord;
        records.push_back({readAt<uint64_t>(data, at + 8), readAt<uint64_t>(data, at + 16),
                           readAt<uint32_t>(data, at + 24)});
    }
    return records;
}

std::vector<SystemHandleRecord> parseHandleTable(const unsigned char* data, size_t size)
{
    std::vector<SystemHandleRecord> records;
    if (!data || size < kHeader)
        return records;
    const size_t count = recordsHeld(readAt<uint32_t>(data, 0), size, kHeader, kRecord);
    records.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        // The 16-bit process id shares its 32 bits with a back-trace index; then the object
        // type, flags, the 16-bit handle value, the object address and the granted access.
        const size_t at = kHeader + i * kRecord;
        records.push_back({readAt<uint16_t>(data, at), readAt<uint16_t>(data, at + 6), readAt<uint32_t>(data, at + 16)});
    }
    return records;
}

std::vector<SystemHandleRecord> handlesOfProcess(const std::vector<SystemHandleRecord>& records, uint64_t processId,
                                                 bool sixteenBitIds)
{
    std::vector<SystemHandleRecord> own;
    if (sixteenBitIds && processId > 0xFFFF)
        return own;
    for (const SystemHandleRecord& record : records)
        if (record.processId == processId)
            own.push_back(record);
    return own;
}
