// Tar archives made in memory for the tests, the fuzz seeds and the untar benchmark: ustar
// headers with any name, type and size field, GNU long names, end blocks, and gzip.
#pragma once

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>

class TestTar {
public:
    // A member with its data padded to whole blocks; sizeField replaces the octal size.
    TestTar& member(const std::string& name, char type, const std::string& data = {},
                    const char* sizeField = nullptr, bool magic = true)
    {
        std::string header(512, '\0');
        std::memcpy(header.data(), name.data(), name.size() < 100 ? name.size() : 100);
        char size[13];
        std::snprintf(size, sizeof size, "%011o", static_cast<unsigned>(data.size()));
        std::memcpy(header.data() + 124, sizeField ? sizeField : size, 12);
        header[156] = type;
        if (magic)
            std::memcpy(header.data() + 257, "ustar\0" "00", 8);
        // Mode and checksum, which the reader ignores, for other tar programs.
        std::memcpy(header.data() + 100, type == '5' ? "0000755" : "0000644", 8);
        unsigned sum = 8 * ' ';
        for (size_t i = 0; i < 512; ++i)
            sum += (i >= 148 && i < 156) ? 0 : static_cast<unsigned char>(header[i]);
        std::snprintf(header.data() + 148, 8, "%06o", sum);
        header[155] = ' ';
        bytes_ += header + data + std::string((512 - data.size() % 512) % 512, '\0');
        return *this;
    }
    TestTar& file(const std::string& name, const std::string& data) { return member(name, '0', data); }
    TestTar& directory(const std::string& name) { return member(name, '5'); }
    // The long-name member as GNU tar writes it (the name with its NUL), then the file.
    TestTar& longFile(const std::string& name, const std::string& data)
    {
        member("././@LongLink", 'L', name + '\0');
        return member(name.substr(0, 99), '0', data);
    }
    TestTar& end() { bytes_ += std::string(1024, '\0'); return *this; }

    const std::string& bytes() const { return bytes_; }
    std::string gzipped() const { return gzip(bytes_); }

    static std::string gzip(const std::string& data, int level = Z_DEFAULT_COMPRESSION)
    {
        z_stream z{};
        deflateInit2(&z, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
        std::string out(deflateBound(&z, data.size()), '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        z.avail_in = static_cast<uInt>(data.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        deflate(&z, Z_FINISH);
        out.resize(z.total_out);
        deflateEnd(&z);
        return out;
    }

private:
    std::string bytes_;
};
