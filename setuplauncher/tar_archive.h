// The tar reader of the runtime archive: ustar headers, GNU long names, directories and
// regular files; every other member type is skipped with its data. What it finds goes to a
// TarOutput, so the reader knows nothing of the file system it fills.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "setuplauncher/tar_stream.h"

inline constexpr size_t kTarBlock = 512;
// Only the fields up to the magic are used; the rest of the block is skipped.
inline constexpr size_t kTarHeaderRead = 500;
// The longest long name taken, with its terminating NUL.
inline constexpr size_t kTarPathLimit = 6000;

class TarOutput {
public:
    virtual ~TarOutput() = default;
    // A directory member (a failure is ignored: a later file below it fails instead).
    virtual void makeDirectory(const std::string& path) = 0;
    // A regular member: opens its file for writing; false stops the untar.
    virtual bool openFile(const std::string& path) = 0;
    // Writes to the open file; the bytes written, fewer only on a failure.
    virtual size_t writeFile(const char* data, size_t size) = 0;
    virtual void closeFile() = 0;
    // The position in the uncompressed data: at the start of every regular member
    // (memberStart) and after each block of its data.
    virtual void reportPosition(int64_t position, bool memberStart) = 0;
};

// The 12-byte octal size field: leading spaces and "0"s skipped, then octal digits up to a
// NUL, a space or the field's end. Nothing for any other character (a base-256 size
// included) and for a size above 2^31 - 1.
std::optional<int64_t> parseTarSize(const char* field);

// Reads the next header into header (kTarHeaderRead bytes). False at the end of the archive
// (its zero blocks or the end of the data), where success becomes extractedAny, and on a
// failure, where success stays as it was.
bool readTarHeader(TarStream& stream, bool& success, bool extractedAny, char* header);

// Copies size bytes of member data from the stream into the file path; false when the file
// cannot be opened, the data ends early or fails, or the file takes fewer bytes.
bool untarExtractFile(TarStream& stream, const std::string& path, int64_t size, TarOutput& output);

// Reads every member of an opened stream into output; true when the archive ended well after
// at least one regular file, with the rest of the stream (the gzip trailer) read and intact.
bool extractTarMembers(TarStream& stream, TarOutput& output);
