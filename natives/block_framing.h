// The data blocks of the installer's pipe messaging: a 4-byte little-endian payload length,
// then exactly that many bytes; nothing else on the wire. A byte-mode pipe may hand over a
// block in pieces of any size, so every read and write loops until its part is complete.
//
// The pipe comes in through PipeLayer, so the framing runs over a Windows pipe handle in
// the natives and over memory in tests and fuzzing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class PipeLayer {
public:
    virtual ~PipeLayer() = default;
    // Up to size bytes; got receives how many arrived. False when the read fails.
    virtual bool read(void* buffer, uint32_t size, uint32_t& got) = 0;
    // Up to size bytes; put receives how many were taken. False when the write fails.
    virtual bool write(const void* data, uint32_t size, uint32_t& put) = 0;
    virtual bool flush() = 0;
};

// The length field's size on the wire.
inline constexpr uint32_t kBlockLengthBytes = 4;

// Fills exactly size bytes. A read that succeeds with nothing counts as a failure: the peer
// is gone, and waiting for the rest would spin for ever.
bool readFully(PipeLayer& pipe, void* buffer, size_t size);
// Writes exactly size bytes; a write that takes nothing counts as a failure.
bool writeFully(PipeLayer& pipe, const void* data, size_t size);

// One block from the pipe. payloadFor(length) gives the memory for the payload (it may
// refuse with null, for a length it cannot hold; a length of 0 needs none). False when the
// length or the payload does not arrive whole or the memory is refused.
bool readBlock(PipeLayer& pipe, const std::function<void*(uint32_t length)>& payloadFor);
// The same into a vector, refusing lengths above limit; nullopt on failure.
std::optional<std::vector<uint8_t>> readBlock(PipeLayer& pipe, uint32_t limit);

// The length, the payload, then a flush; true when all three went through.
bool writeBlock(PipeLayer& pipe, const void* payload, uint32_t size);

// A pipe over memory: reads hand out the input in pieces of at most chunk bytes, writes
// collect the output. For decoding blocks from a byte buffer.
class MemoryPipe final : public PipeLayer {
public:
    MemoryPipe(const uint8_t* input, size_t size, uint32_t chunk = UINT32_MAX)
        : input_(input), size_(size), chunk_(chunk ? chunk : 1)
    {
    }
    bool read(void* buffer, uint32_t size, uint32_t& got) override;
    bool write(const void* data, uint32_t size, uint32_t& put) override;
    bool flush() override { return true; }

    const std::vector<uint8_t>& output() const { return output_; }
    size_t consumed() const { return position_; }

private:
    const uint8_t* input_;
    size_t size_;
    uint32_t chunk_;
    size_t position_ = 0;
    std::vector<uint8_t> output_;
};
