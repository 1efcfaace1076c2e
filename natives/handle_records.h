// The system's table of open handles as the system information query answers it, in its
// two record layouts, reduced to what the handle list needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct SystemHandleRecord {
    uint64_t processId = 0;
    uint64_t handleValue = 0;
    uint32_t grantedAccess = 0;
};

// The extended table: a pointer-sized count and a reserved word, then records of 40 bytes
// with full-width process ids and handle values. Records the count promises beyond the
// data are not read.
std::vector<SystemHandleRecord> parseExtendedHandleTable(const unsigned char* data, size_t size);

// The older table: a 32-bit count padded to 8 bytes, then records of 24 bytes whose process
// id and handle value have only 16 bits.
std::vector<SystemHandleRecord> parseHandleTable(const unsigned char* data, size_t size);

// The records of the process, in table order. The older table cannot tell a process id
// above 0xFFFF from another whose low 16 bits are the same, so there such a process has
// none: a handle of another process must never be taken for one of ours.
std::vector<SystemHandleRecord> handlesOfProcess(const std::vector<SystemHandleRecord>& records, uint64_t processId,
                                                 bool sixteenBitIds);
