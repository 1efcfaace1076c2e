#include "tools/sldkpack/runtime_archive.h"

#include "setuplauncher/tar_archive.h"
#include "setuplauncher/tar_member_name.h"
#include "tools/sldkpack/packer.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace sldkpack {
namespace {

constexpr size_t kNameWidth = 100;
constexpr int kFileMode = 0644;
constexpr int kExecutableMode = 0755;
constexpr uint64_t kEndBlocks = 2 * kTarBlock;
constexpr unsigned kCompressChunk = 1u << 20;
// The gzip header's OS byte: "unknown", so the same tree packs to the same bytes on any host.
constexpr int kGzipOsUnknown = 255;

using Block = std::array<char, kTarBlock>;

uint64_t paddedSize(uint64_t size) { return (size + kTarBlock - 1) / kTarBlock * kTarBlock; }

// Octal digits filling width - 1 bytes, then a NUL, as every numeric ustar field is written.
void putOctal(char* field, size_t width, uint64_t value) {
    field[width - 1] = '\0';
    for (size_t i = width - 1; i-- > 0;) {
        field[i] = static_cast<char>('0' + (value & 7));
        value >>= 3;
    }
}

Block header(std::string_view name, char type, uint64_t size, int mode) {
    Block block{};
    std::memcpy(block.data(), name.data(), std::min(name.size(), kNameWidth));
    putOctal(block.data() + 100, 8, static_cast<uint64_t>(mode));
    putOctal(block.data() + 108, 8, 0); // uid
    putOctal(block.data() + 116, 8, 0); // gid
    putOctal(block.data() + 124, 12, size);
    putOctal(block.data() + 136, 12, 0); // mtime
    block[156] = type;
    std::memcpy(block.data() + 257, "ustar\0" "00", 8);
    putOctal(block.data() + 329, 8, 0); // devmajor
    putOctal(block.data() + 337, 8, 0); // devminor
    // The checksum is taken with its own field as eight spaces: six digits, NUL, space.
    std::memset(block.data() + 148, ' ', 8);
    unsigned sum = 0;
    for (const char c : block)
        sum += static_cast<unsigned char>(c);
    putOctal(block.data() + 148, 7, sum);
    return block;
}

bool isWindowsForbidden(unsigned char c) {
    return c < 0x20 || std::strchr("\\<>:\"|?*", c) != nullptr;
}

} // namespace

std::optional<std::string> refusedMemberName(std::string_view name, bool directory) {
    std::string quoted(1, '\'');
    quoted.append(name).push_back('\'');
    if (name.empty())
        return "an empty member name";
    // The reader refuses a long name whose stored form (a directory's with its "/") and NUL
    // reach its path buffer's size.
    if (name.size() + (directory ? 1 : 0) + 1 >= kTarPathLimit)
        return quoted.substr(0, 60) + "... is longer than the " + std::to_string(kTarPathLimit - 2) +
               " bytes the launcher takes (a directory's trailing '/' included)";
    if (!isSafeMemberName(name))
        return quoted + " would not stay below the runtime directory (absolute, ':' or a parent component)";
    size_t start = 0;
    while (start <= name.size()) {
        const size_t end = std::min(name.find('/', start), name.size());
        const std::string_view component = name.substr(start, end - start);
        if (component.empty() || component == ".")
            return quoted + " has an empty or '.' component";
        if (component.back() == '.' || component.back() == ' ')
            return quoted + " has a component ending in '.' or ' ', which Windows drops";
        if (std::any_of(component.begin(), component.end(),
                        [](char c) { return isWindowsForbidden(static_cast<unsigned char>(c)); }))
            return quoted + " holds a character that Windows does not allow in file names";
        start = end + 1;
    }
    return std::nullopt;
}

struct RuntimeArchiveWriter::State {
    uint64_t tarLimit = 0;
    z_stream zs{};
    gz_header gzipHeader{};
    bool zlibReady = false;
    bool anyFile = false;
    bool finished = false;
    RuntimeArchive archive;

    ~State() {
        if (zlibReady)
            deflateEnd(&zs);
    }

    // Tar bytes wait here and go to zlib in large pieces, not header by header.
    std::vector<char> pending;

    void deflatePending(int flush) {
        size_t done = 0;
        std::vector<uint8_t>& out = archive.bytes;
        do {
            // zlib counts in 32 bits.
            const size_t piece = std::min<size_t>(pending.size() - done, 1u << 30);
            const bool last = done + piece == pending.size();
            zs.next_in = reinterpret_cast<Bytef*>(pending.data() + done);
            zs.avail_in = static_cast<uInt>(piece);
            const int mode = last ? flush : Z_NO_FLUSH;
            for (;;) {
                const size_t used = out.size();
                out.resize(used + kCompressChunk);
                zs.next_out = out.data() + used;
                zs.avail_out = kCompressChunk;
                const int result = deflate(&zs, mode);
                out.resize(out.size() - zs.avail_out);
                if (result == Z_STREAM_ERROR)
                    throw PackError("cannot compress the runtime archive");
                if (mode == Z_FINISH ? result == Z_STREAM_END : zs.avail_in == 0 && zs.avail_out != 0)
                    break;
            }
            done += piece;
        } while (done < pending.size());
        pending.clear();
    }

    void put(const char* data, uint64_t size) {
        pending.insert(pending.end(), data, data + size);
        if (pending.size() >= kCompressChunk)
            deflatePending(Z_NO_FLUSH);
    }

    void putZeros(uint64_t size) {
        static const Block zeros{};
        for (; size > 0; size -= std::min<uint64_t>(size, kTarBlock))
            put(zeros.data(), std::min<uint64_t>(size, kTarBlock));
    }

    void addMember(const std::string& name, bool directory, const char* data, uint64_t size, int mode) {
        if (finished)
            throw PackError("the runtime archive is finished already");
        if (auto refused = refusedMemberName(name, directory))
            throw PackError("runtime member " + *refused);
        const std::string stored = directory ? name + "/" : name;
        const bool longName = stored.size() >= kNameWidth;
        const uint64_t longNameSize = stored.size() + 1;
        const uint64_t added =
            (longName ? kTarBlock + paddedSize(longNameSize) : 0) + kTarBlock + paddedSize(size);
        if (size > static_cast<uint64_t>(INT32_MAX) || archive.tarSize + added + kEndBlocks > tarLimit)
            throw PackError("the runtime archive would be larger than the launcher's limit of " +
                            std::to_string(tarLimit) + " bytes (at '" + name + "')");
        if (longName) {
            put(header("././@LongLink", 'L', longNameSize, kFileMode).data(), kTarBlock);
            put(stored.c_str(), longNameSize);
            putZeros(paddedSize(longNameSize) - longNameSize);
        }
        put(header(stored, directory ? '5' : '0', size, mode).data(), kTarBlock);
        put(data, size);
        putZeros(paddedSize(size) - size);
        archive.tarSize += added;
        ++archive.memberCount;
    }
};

RuntimeArchiveWriter::RuntimeArchiveWriter(uint64_t tarLimit) : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.tarLimit = tarLimit;
    // windowBits 15 + 16: a gzip wrapper instead of a zlib one.
    if (deflateInit2(&s.zs, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw PackError("cannot start compressing the runtime archive");
    s.zlibReady = true;
    s.gzipHeader.os = kGzipOsUnknown;
    deflateSetHeader(&s.zs, &s.gzipHeader);
}

RuntimeArchiveWriter::~RuntimeArchiveWriter() = default;

void RuntimeArchiveWriter::addDirectory(const std::string& name) {
    state_->addMember(name, true, nullptr, 0, kExecutableMode);
}

void RuntimeArchiveWriter::addFile(const std::string& name, const std::vector<uint8_t>& bytes, bool executable) {
    state_->addMember(name, false, reinterpret_cast<const char*>(bytes.data()), bytes.size(),
                      executable ? kExecutableMode : kFileMode);
    state_->anyFile = true;
}

RuntimeArchive RuntimeArchiveWriter::finish() {
    State& s = *state_;
    if (s.finished)
        throw PackError("the runtime archive is finished already");
    if (!s.anyFile)
        throw PackError("the runtime holds no regular file; the launcher's untar fails on such an archive");
    s.putZeros(kEndBlocks);
    s.archive.tarSize += kEndBlocks;
    s.deflatePending(Z_FINISH);
    s.finished = true;
    return std::move(s.archive);
}

} // namespace sldkpack
