#include "setuplauncher/tar_archive.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "launchcore/diagnostics.h"
#include "setuplauncher/tar_member_name.h"

namespace {

constexpr size_t kNameOffset = 0;
constexpr size_t kNameWidth = 100;
constexpr size_t kSizeOffset = 124;
constexpr size_t kSizeWidth = 12;
constexpr size_t kTypeOffset = 156;
constexpr size_t kMagicOffset = 257;
constexpr size_t kCopyBlock = 32768;

int64_t paddingOf(int64_t size)
{
    const int64_t rest = size % static_cast<int64_t>(kTarBlock);
    return rest == 0 ? 0 : static_cast<int64_t>(kTarBlock) - rest;
}

// The end of an archive is its end of data or its zero blocks. A block that is neither a
// header nor zeros is damage, which must not pass for the end.
bool isZeroBlock(const char* header)
{
    return std::all_of(header, header + kTarHeaderRead, [](char c) { return c == 0; });
}

// The name field up to its NUL (at most 100 bytes), with Windows separators.
std::string nameFieldPath(const char* header)
{
    const char* name = header + kNameOffset;
    std::string path(name, strnlen(name, kNameWidth));
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// The data of a long-name member, taken up to its first NUL.
bool readLongName(TarStream& stream, int64_t size, std::string& path)
{
    if (size >= static_cast<int64_t>(kTarPathLimit)) {
        diagnosticError("long file name too long");
        return false;
    }
    path.assign(static_cast<size_t>(size), '\0');
    if (stream.read(path.data(), static_cast<unsigned>(size)) != size) {
        diagnosticLine("gzread failed for long file name");
        return false;
    }
    path.resize(strlen(path.c_str()));
    if (!stream.skip(paddingOf(size))) {
        diagnosticLine("gzseek 4 failed");
        return false;
    }
    return true;
}

bool memberSize(const char* header, int64_t& size)
{
    const std::optional<int64_t> parsed = parseTarSize(header + kSizeOffset);
    if (!parsed) {
        diagnosticError("invalid size field");
        return false;
    }
    size = *parsed;
    return true;
}

bool checkedName(const std::string& path)
{
    if (isSafeMemberName(path))
        return true;
    diagnosticError("illegal member name %s", path.c_str());
    return false;
}

// What is left after the end blocks is read to the end, so zlib checks the gzip trailer.
bool drainStream(TarStream& stream)
{
    std::vector<char> buffer(kCopyBlock);
    for (;;) {
        const int got = stream.read(buffer.data(), static_cast<unsigned>(buffer.size()));
        if (got == 0)
            return true;
        if (got < 0) {
            diagnosticLine("stream error");
            return false;
        }
    }
}

} // namespace

std::optional<int64_t> parseTarSize(const char* field)
{
    size_t i = 0;
    while (i < kSizeWidth && (field[i] == ' ' || field[i] == '0'))
        ++i;
    int64_t value = 0;
    for (; i < kSizeWidth; ++i) {
        const char c = field[i];
        if (c == '\0' || c == ' ')
            break;
        if (c < '0' || c > '7')
            return std::nullopt;
        value = value * 8 + (c - '0');
    }
    // Twelve octal digits stay below 2^36, so the value cannot overflow on the way.
    if (value > INT32_MAX)
        return std::nullopt;
    return value;
}

bool readTarHeader(TarStream& stream, bool& success, bool extractedAny, char* header)
{
    const auto endOfArchive = [&](const char* error) {
        success = extractedAny;
        if (!extractedAny)
            diagnosticError("%s", error);
        return false;
    };
    if (stream.atEnd())
        return endOfArchive("unexpected eof");
    // A short read must never leave the previous header's fields in place.
    std::memset(header, 0, kTarHeaderRead);
    const int got = stream.read(header, static_cast<unsigned>(kTarHeaderRead));
    if (got == 0)
        return endOfArchive("unexpected eof");
    if (got != static_cast<int>(kTarHeaderRead)) {
        diagnosticLine("gzread failed");
        return false;
    }
    if (std::memcmp(header + kMagicOffset, "ustar", 5) != 0) {
        if (!isZeroBlock(header)) {
            diagnosticError("no magic number");
            return false;
        }
        return endOfArchive("no magic number");
    }
    if (!stream.skip(kTarBlock - kTarHeaderRead)) {
        diagnosticLine("gzseek 1 failed");
        return false;
    }
    return true;
}

bool untarExtractFile(TarStream& stream, const std::string& path, int64_t size, TarOutput& output)
{
    diagnosticLine("extracting %s (size %d)", path.c_str(), static_cast<int>(size));
    if (!output.openFile(path))
        return false;
    std::vector<char> buffer(kCopyBlock);
    int64_t written = 0;
    bool streamError = false;
    while (written < size) {
        const unsigned wanted = static_cast<unsigned>(std::min<int64_t>(size - written, kCopyBlock));
        const int got = stream.read(buffer.data(), wanted);
        if (got < 0) {
            streamError = true;
            break;
        }
        // The data ended early: a read of nothing must end the copy, never repeat it.
        if (got == 0)
            break;
        const size_t put = output.writeFile(buffer.data(), static_cast<size_t>(got));
        written += static_cast<int64_t>(put);
        if (put < static_cast<size_t>(got))
            break;
        output.reportPosition(stream.position(), false);
    }
    bool result = true;
    if (streamError) {
        diagnosticLine("stream error");
        result = false;
    } else if (written < size) {
        diagnosticLine("sizes don't match: %d, %d", static_cast<int>(written), static_cast<int>(size));
        result = false;
    }
    output.closeFile();
    return result;
}

bool extractTarMembers(TarStream& stream, TarOutput& output)
{
    bool success = false;
    bool extractedAny = false;
    char header[kTarHeaderRead];
    std::string path;
    while (readTarHeader(stream, success, extractedAny, header)) {
        int64_t size = 0;
        if (!memberSize(header, size))
            break;
        char type = header[kTypeOffset];
        if (type == 'L') {
            if (!readLongName(stream, size, path) || !readTarHeader(stream, success, extractedAny, header) ||
                !memberSize(header, size))
                break;
            type = header[kTypeOffset];
        } else {
            path = nameFieldPath(header);
        }

        if (type == '5') {
            if (namesTargetItself(path)) {
                // The target exists already.
            } else if (!checkedName(path)) {
                break;
            } else {
                output.makeDirectory(path);
            }
        } else if (type == '0') {
            if (!checkedName(path))
                break;
            output.reportPosition(stream.position(), true);
            if (!untarExtractFile(stream, path, size, output)) {
                diagnosticLine("extract file failed");
                break;
            }
            extractedAny = true;
        } else if (!stream.skip(size)) {
            diagnosticLine("gzseek 2 failed");
            break;
        }
        if (!stream.skip(paddingOf(size))) {
            diagnosticLine("gzseek 3 failed");
            break;
        }
    }
    return success && drainStream(stream);
}
