// The uncompressed bytes of the runtime archive as the tar reader consumes them: a gzip
// file inflated through zlib's gz functions (a file that is not gzip is read as it is, as
// zlib reads it).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class TarStream {
public:
    TarStream();
    ~TarStream();
    TarStream(const TarStream&) = delete;
    TarStream& operator=(const TarStream&) = delete;

    // gzopen in mode "rb"; false when the file cannot be opened.
    bool open(const std::string& path);
    // Up to size bytes, fewer only at the end: the count, 0 at the clean end of the data,
    // -1 when the data is damaged or the file ends before the gzip trailer.
    int read(void* buffer, unsigned size);
    // Skips size bytes; false when the data ends or fails first.
    bool skip(int64_t size);
    // The bytes read and skipped so far.
    int64_t position() const;
    // Whether a read found the clean end (a damaged or cut stream never counts as ended, so
    // the next read reports it).
    bool atEnd();
    void close();

private:
    struct State;
    std::unique_ptr<State> state_;
};
