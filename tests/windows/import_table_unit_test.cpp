// What the shipped programs import, read from their files: Windows loads the libraries named
// there before any of our code runs, so each must be one it always takes from the system
// directory. Anything else belongs behind the late-binding helper.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "testing/launcher_builder.h"

namespace {

// KnownDLLs of current Windows versions, and the libraries the loader maps in any case.
const char* const kSystemLibraries[] = {
    "kernel32.dll", "kernelbase.dll", "ntdll.dll",   "user32.dll",   "gdi32.dll",    "advapi32.dll",
    "msvcrt.dll",   "shell32.dll",    "ole32.dll",   "oleaut32.dll", "comdlg32.dll", "shlwapi.dll",
    "ws2_32.dll",   "rpcrt4.dll",     "sechost.dll", "combase.dll",  "imm32.dll",    "imagehlp.dll",
    "psapi.dll",    "setupapi.dll",   "shcore.dll",  "wldap32.dll",  "nsi.dll",      "normaliz.dll",
    "msctf.dll",    "clbcatq.dll",    "difxapi.dll", "gdiplus.dll",  "coml2.dll",
};

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

bool isSystemLibrary(const std::string& name)
{
    const std::string lower = lowered(name);
    if (lower.rfind("api-ms-win-", 0) == 0)
        return true;
    return std::any_of(std::begin(kSystemLibraries), std::end(kSystemLibraries),
                       [&](const char* known) { return lower == known; });
}

template <typename T>
bool readAt(const std::vector<uint8_t>& bytes, size_t offset, T& value)
{
    if (offset > bytes.size() || bytes.size() - offset < sizeof value)
        return false;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return true;
}

// The names of the libraries in the import and delay-import directories of a 64-bit image;
// nullopt when the file is not one or a table points outside it.
std::optional<std::vector<std::string>> importedLibraries(const std::vector<uint8_t>& bytes)
{
    IMAGE_DOS_HEADER dos{};
    if (!readAt(bytes, 0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE)
        return std::nullopt;
    IMAGE_NT_HEADERS64 nt{};
    const size_t ntOffset = static_cast<size_t>(dos.e_lfanew);
    if (!readAt(bytes, ntOffset, nt) || nt.Signature != IMAGE_NT_SIGNATURE ||
        nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        return std::nullopt;

    const size_t sectionsOffset =
        ntOffset + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
    std::vector<IMAGE_SECTION_HEADER> sections(nt.FileHeader.NumberOfSections);
    for (size_t i = 0; i < sections.size(); ++i)
        if (!readAt(bytes, sectionsOffset + i * sizeof(IMAGE_SECTION_HEADER), sections[i]))
            return std::nullopt;
    const auto fileOffset = [&](DWORD rva) -> std::optional<size_t> {
        for (const IMAGE_SECTION_HEADER& section : sections) {
            const DWORD size = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
            if (rva >= section.VirtualAddress && rva - section.VirtualAddress < size)
                return size_t{section.PointerToRawData} + (rva - section.VirtualAddress);
        }
        return std::nullopt;
    };
    const auto nameAt = [&](DWORD rva) -> std::optional<std::string> {
        const std::optional<size_t> offset = fileOffset(rva);
        if (!offset || *offset >= bytes.size())
            return std::nullopt;
        const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(*offset);
        const auto end = std::find(begin, bytes.end(), uint8_t{0});
        if (end == bytes.end())
            return std::nullopt;
        return std::string(begin, end);
    };

    std::vector<std::string> names;
    // Both descriptor kinds hold the library name's address at the same offset; a zero name
    // ends the table.
    const struct {
        DWORD directory;
        size_t descriptorSize;
        size_t nameField;
    } tables[] = {
        {IMAGE_DIRECTORY_ENTRY_IMPORT, sizeof(IMAGE_IMPORT_DESCRIPTOR), offsetof(IMAGE_IMPORT_DESCRIPTOR, Name)},
        {IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT, 32, 4},
    };
    for (const auto& table : tables) {
        if (table.directory >= nt.OptionalHeader.NumberOfRvaAndSizes)
            continue;
        const IMAGE_DATA_DIRECTORY& directory = nt.OptionalHeader.DataDirectory[table.directory];
        if (directory.VirtualAddress == 0 || directory.Size == 0)
            continue;
        const std::optional<size_t> start = fileOffset(directory.VirtualAddress);
        if (!start)
            return std::nullopt;
        for (size_t offset = *start;; offset += table.descriptorSize) {
            DWORD nameRva = 0;
            if (!readAt(bytes, offset + table.nameField, nameRva))
                return std::nullopt;
            if (nameRva == 0)
                break;
            const std::optional<std::string> name = nameAt(nameRva);
            if (!name)
                return std::nullopt;
            names.push_back(*name);
        }
    }
    return names;
}

TEST(ImportTable, ShippedProgramsImportOnlySystemLibraries)
{
    for (const wchar_t* program : {kSetupStub, kServiceStub}) {
        SCOPED_TRACE(testing::Message() << "program " << std::string(program, program + wcslen(program)));
        const std::vector<uint8_t> bytes = readStub(program);
        ASSERT_FALSE(bytes.empty());
        const std::optional<std::vector<std::string>> names = importedLibraries(bytes);
        ASSERT_TRUE(names.has_value());
        // Every program needs kernel32: without it the table was not really read.
        EXPECT_TRUE(std::any_of(names->begin(), names->end(),
                                [](const std::string& name) { return lowered(name) == "kernel32.dll"; }));
        for (const std::string& name : *names)
            EXPECT_TRUE(isSystemLibrary(name)) << name << " is loaded through the search path";
    }
}

TEST(ImportTable, DamagedImagesAreNotRead)
{
    const std::vector<uint8_t> good = readStub(kServiceStub);
    ASSERT_TRUE(importedLibraries(good).has_value());
    IMAGE_DOS_HEADER dos{};
    ASSERT_TRUE(readAt(good, 0, dos));
    const size_t ntOffset = static_cast<size_t>(dos.e_lfanew);

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases = {
        {"empty", {}},
        {"cut inside the headers", std::vector<uint8_t>(good.begin(), good.begin() + ntOffset + 8)},
        {"cut before the import table", std::vector<uint8_t>(good.begin(), good.begin() + 1024)},
    };
    cases.push_back({"not a PE signature", good});
    cases.back().bytes[ntOffset] = 'X';
    cases.push_back({"a 32-bit optional header", good});
    cases.back().bytes[ntOffset + offsetof(IMAGE_NT_HEADERS64, OptionalHeader)] = 0x0b;
    cases.back().bytes[ntOffset + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) + 1] = 0x01;
    for (const Case& c : cases)
        EXPECT_FALSE(importedLibraries(c.bytes).has_value()) << c.what;
}

} // namespace
