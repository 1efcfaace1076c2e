// Writes the seed corpus of handle_records_fuzz: small tables of both layouts, and one whose
// count promises more than it holds.
#include <cstdint>
#include <vector>

#include "fuzz/seed_corpus.h"

namespace {

void put(std::vector<uint8_t>& bytes, uint64_t value, int width)
{
    for (int i = 0; i < width; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

bool write(const std::filesystem::path& file, const std::vector<uint8_t>& bytes)
{
    return writeSeed(file, bytes.data(), bytes.size());
}

} // namespace

int main(int argc, char** argv)
{
    const std::optional<std::filesystem::path> directory = seedDirectory(argc, argv);
    if (!directory)
        return 2;
    const std::filesystem::path& seeds = *directory;
    std::vector<uint8_t> extended;
    put(extended, 2, 8);
    put(extended, 0, 8);
    for (uint64_t handle : {0x4, 0x10004}) {
        put(extended, 0xFFFF800000001000, 8); // object
        put(extended, 70000, 8);              // process id
        put(extended, handle, 8);
        put(extended, 0x120089, 4);           // access
        put(extended, 0, 4);                  // back-trace index, object type
        put(extended, 0, 8);                  // attributes, reserved
    }
    std::vector<uint8_t> older;
    put(older, 5, 4);
    put(older, 0, 4);
    for (uint32_t pid : {4u, 70000u}) {
        put(older, pid, 4);
        put(older, 0x25, 2); // type and flags
        put(older, 0x44, 2);
        put(older, 0xFFFF800000002000, 8);
        put(older, 0x1F01FF, 4);
        put(older, 0, 4);
    }
    const bool ok = write(seeds / "extended", extended) && write(seeds / "older_promising_more", older);
    return seedsWritten(ok, seeds);
}
