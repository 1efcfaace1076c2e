// Hand-built appended data and PE images for the reader's tests and the fuzz seeds. It
// writes the bytes field by field, independently of sldkpack, so a fault shared by the
// writer and the reader cannot hide.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace appended_bytes {

class Bytes {
public:
    Bytes& u8(uint8_t v)
    {
        data_.push_back(v);
        return *this;
    }
    Bytes& u16(uint16_t v) { return u8(static_cast<uint8_t>(v)).u8(static_cast<uint8_t>(v >> 8)); }
    Bytes& u32(uint32_t v) { return u16(static_cast<uint16_t>(v)).u16(static_cast<uint16_t>(v >> 16)); }
    Bytes& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
    Bytes& u64(uint64_t v) { return u32(static_cast<uint32_t>(v)).u32(static_cast<uint32_t>(v >> 32)); }
    Bytes& i64(int64_t v) { return u64(static_cast<uint64_t>(v)); }
    Bytes& raw(std::string_view bytes)
    {
        data_.insert(data_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    Bytes& raw(const std::vector<uint8_t>& bytes)
    {
        data_.insert(data_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    // Length-prefixed 8-bit text (readString).
    Bytes& str(std::string_view text) { return i32(static_cast<int32_t>(text.size())).raw(text); }
    // Length-prefixed UTF-16LE text (readWString).
    Bytes& wstr(std::u16string_view text)
    {
        i32(static_cast<int32_t>(text.size() * 2));
        for (char16_t c : text)
            u16(c);
        return *this;
    }
    // Header: magic, integrity flag, checksum, covered length (values not checked by the reader).
    Bytes& header(uint32_t integrity = 0, uint32_t checksum = 0, int64_t covered = 0, uint32_t magic = 0xE8E413D5u)
    {
        return u32(magic).u32(integrity).u32(checksum).i64(covered);
    }
    Bytes& zeros(size_t count)
    {
        data_.insert(data_.end(), count, 0);
        return *this;
    }
    void put32(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            data_.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
    }
    void put16(size_t at, uint16_t v)
    {
        data_.at(at) = static_cast<uint8_t>(v);
        data_.at(at + 1) = static_cast<uint8_t>(v >> 8);
    }
    size_t size() const { return data_.size(); }
    const std::vector<uint8_t>& data() const { return data_; }
    std::vector<uint8_t>& data() { return data_; }

private:
    std::vector<uint8_t> data_;
};

struct PeLayout {
    uint32_t peOffset = 0x80;
    uint16_t optionalHeaderSize = 0xF0;
    // Raw data of each section, laid out one after the other from rawStart.
    std::vector<uint32_t> sectionSizes{0x200, 0x200};
    uint32_t rawStart = 0x400;
};

// Offset of section i's 40-byte header in an image built with layout.
inline size_t sectionHeaderOffset(const PeLayout& layout, size_t i)
{
    return layout.peOffset + 24 + layout.optionalHeaderSize + 40 * i;
}

// A minimal image the PE walk accepts: "MZ", e_lfanew at 60, "PE\0\0", the file header's
// section count and optional-header size, a zeroed optional header, the section table and
// the raw data (filled with 0xCC). The appended data starts at size() of the result.
inline Bytes peImage(const PeLayout& layout = {})
{
    Bytes image;
    image.raw("MZ").zeros(layout.rawStart - 2);
    image.put32(60, layout.peOffset);
    image.data().at(layout.peOffset) = 'P';
    image.data().at(layout.peOffset + 1) = 'E';
    image.put16(layout.peOffset + 4, 0x8664);
    image.put16(layout.peOffset + 6, static_cast<uint16_t>(layout.sectionSizes.size()));
    image.put16(layout.peOffset + 20, layout.optionalHeaderSize);
    uint32_t pointer = layout.rawStart;
    for (size_t i = 0; i < layout.sectionSizes.size(); ++i) {
        const size_t header = sectionHeaderOffset(layout, i);
        image.put32(header + 16, layout.sectionSizes[i]);
        image.put32(header + 20, pointer);
        pointer += layout.sectionSizes[i];
    }
    image.data().resize(pointer, 0xCC);
    return image;
}

} // namespace appended_bytes
