#include "setuplauncher/tar_stream.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

struct TarStream::State {
    gzFile file = nullptr;
    int64_t position = 0;
    bool ended = false;
    bool failed = false;
};

TarStream::TarStream() : state_(std::make_unique<State>()) {}

TarStream::~TarStream() { close(); }

bool TarStream::open(const std::string& path)
{
    close();
    *state_ = State{};
    state_->file = gzopen(path.c_str(), "rb");
    return state_->file != nullptr;
}

int TarStream::read(void* buffer, unsigned size)
{
    State& s = *state_;
    if (!s.file || s.failed)
        return -1;
    if (size == 0)
        return 0;
    const int got = gzread(s.file, buffer, size);
    int error = Z_OK;
    gzerror(s.file, &error);
    // zlib reports a file cut before its trailer as a clean end with Z_BUF_ERROR noted.
    if (got < 0 || (got < static_cast<int>(size) && error != Z_OK)) {
        s.failed = true;
        return -1;
    }
    if (got == 0)
        s.ended = true;
    s.position += got;
    return got;
}

bool TarStream::skip(int64_t size)
{
    // Read and dropped rather than gzseek'd: zlib's forward seek only notes the distance,
    // so a seek past the end would pass for a success.
    std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(size, 65536)));
    while (size > 0) {
        const unsigned piece = static_cast<unsigned>(std::min<int64_t>(size, static_cast<int64_t>(buffer.size())));
        if (read(buffer.data(), piece) != static_cast<int>(piece))
            return false;
        size -= piece;
    }
    return true;
}

int64_t TarStream::position() const { return state_->position; }

bool TarStream::atEnd()
{
    const State& s = *state_;
    if (!s.file || s.failed)
        return false;
    if (s.ended)
        return true;
    int error = Z_OK;
    gzerror(s.file, &error);
    return gzeof(s.file) && error == Z_OK;
}

void TarStream::close()
{
    if (state_->file)
        gzclose(state_->file);
    state_->file = nullptr;
}
