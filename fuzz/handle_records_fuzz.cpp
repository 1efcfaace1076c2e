// libFuzzer target over the readers of the system handle table, whose counts and records a
// crafted answer (or a table that grows between the calls) can make inconsistent. Besides
// the sanitizers it checks that no reader invents records beyond the data and that the
// records of one process are always among all records.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "natives/handle_records.h"

namespace {

void checkTable(const std::vector<SystemHandleRecord>& records, size_t recordBytes, size_t size, bool sixteenBitIds)
{
    check(records.size() <= size / recordBytes);
    const uint64_t processId = records.empty() ? 4 : records.front().processId;
    const std::vector<SystemHandleRecord> own = handlesOfProcess(records, processId, sixteenBitIds);
    check(own.size() <= records.size());
    for (const SystemHandleRecord& record : own)
        check(record.processId == processId);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    checkTable(parseExtendedHandleTable(data, size), 40, size, false);
    checkTable(parseHandleTable(data, size), 24, size, true);
    return 0;
}
