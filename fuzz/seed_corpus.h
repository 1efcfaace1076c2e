// What every seed-corpus program of the fuzz targets does around its seeds: make the corpus
// directories named on its command line and write each seed as one file.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

// Creates every directory of the command line (the seed directory first, then the fuzzer's
// work directories) and returns the seed directory; nullopt, after the usage line, without one.
inline std::optional<std::filesystem::path> seedDirectory(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SEED_DIR [MORE_DIRS_TO_CREATE...]\n", argc > 0 ? argv[0] : "seeds");
        return std::nullopt;
    }
    for (int i = 1; i < argc; ++i)
        std::filesystem::create_directories(argv[i]);
    return std::filesystem::path(argv[1]);
}

inline bool writeSeed(const std::filesystem::path& file, const void* data, std::size_t size)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

inline bool writeTextSeed(const std::filesystem::path& file, std::string_view text)
{
    return writeSeed(file, text.data(), text.size());
}

// A seed of UTF-16LE text, the form in which the launchers read lists and command lines.
inline bool writeUtf16Seed(const std::filesystem::path& file, std::u16string_view text)
{
    std::string bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return writeSeed(file, bytes.data(), bytes.size());
}

// The program's exit code once its seeds are written.
inline int seedsWritten(bool ok, const std::filesystem::path& seeds)
{
    if (ok)
        return 0;
    std::fprintf(stderr, "could not write the seeds to %s\n", seeds.string().c_str());
    return 1;
}
