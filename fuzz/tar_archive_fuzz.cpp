// libFuzzer target over the tar reader, whose input arrives by download as well as in the
// installer. The input is the archive file: zlib inflates it when it is gzip and reads it
// as it is otherwise, so both the tar parser and its gzip handling are reached. Besides the
// sanitizers it checks what the file system side relies on: only safe names reach it, a
// file is opened and closed in turn, and no file gets more bytes than its member declares.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_check.h"
#include "setuplauncher/tar_archive.h"
#include "setuplauncher/tar_member_name.h"

namespace {

struct CheckingOutput final : TarOutput {
    bool open = false;
    size_t written = 0;

    void makeDirectory(const std::string& path) override { check(!open && isSafeMemberName(path)); }
    bool openFile(const std::string& path) override
    {
        check(!open && isSafeMemberName(path) && path.size() < kTarPathLimit);
        open = true;
        written = 0;
        return true;
    }
    size_t writeFile(const char*, size_t size) override
    {
        check(open && size <= 32768);
        written += size;
        return size;
    }
    void closeFile() override
    {
        check(open);
        open = false;
    }
    void reportPosition(int64_t position, bool) override { check(position >= 0); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/tar_archive_fuzz_" + std::to_string(getpid());
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    TarStream stream;
    if (!stream.open(path))
        return 0;
    CheckingOutput output;
    extractTarMembers(stream, output);
    check(!output.open);
    return 0;
}
