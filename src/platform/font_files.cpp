#include "platform/font_files.h"

#include <cstdint>
#include <string>

namespace tavrin::platform {

namespace {

constexpr std::size_t kOffsetTableSize = 12;
constexpr std::size_t kTableRecordSize = 16;

std::uint32_t ReadU32(std::string_view data, std::size_t at) {
    return (std::uint32_t(std::uint8_t(data[at])) << 24) |
           (std::uint32_t(std::uint8_t(data[at + 1])) << 16) |
           (std::uint32_t(std::uint8_t(data[at + 2])) << 8) | std::uint8_t(data[at + 3]);
}

std::uint16_t ReadU16(std::string_view data, std::size_t at) {
    return std::uint16_t((std::uint8_t(data[at]) << 8) | std::uint8_t(data[at + 1]));
}

void WriteU32(std::string& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[at + i] = char((value >> (24 - 8 * i)) & 0xFF);
    }
}

bool IsSfntVersion(std::uint32_t tag) {
    return tag == 0x00010000 || tag == 0x4F54544F /* OTTO */ || tag == 0x74727565 /* true */;
}

}  // namespace

bool ExtractFontFace(std::string_view data, unsigned face, std::string& out, std::string& error) {
    if (data.size() < kOffsetTableSize) {
        error = "too short for a font";
        return false;
    }
    std::size_t faceAt = 0;
    if (ReadU32(data, 0) == 0x74746366 /* ttcf */) {
        const std::uint32_t faces = ReadU32(data, 8);
        if (face >= faces || kOffsetTableSize + 4ull * (face + 1) > data.size()) {
            error = "the collection has no font " + std::to_string(face);
            return false;
        }
        faceAt = ReadU32(data, kOffsetTableSize + 4ull * face);
    } else if (face != 0) {
        error = "not a font collection";
        return false;
    }
    if (faceAt > data.size() - kOffsetTableSize || !IsSfntVersion(ReadU32(data, faceAt))) {
        error = "not a TrueType or OpenType font";
        return false;
    }
    const std::size_t tables = ReadU16(data, faceAt + 4);
    const std::size_t directoryEnd = faceAt + kOffsetTableSize + tables * kTableRecordSize;
    if (tables == 0 || directoryEnd > data.size()) {
        error = "the font's table directory is cut short";
        return false;
    }
    // The same offset table and directory, then each table 4-byte aligned, as the format
    // wants, with the directory pointing at the new places.
    out.assign(data.substr(faceAt, directoryEnd - faceAt));
    for (std::size_t i = 0; i < tables; ++i) {
        const std::size_t record = faceAt + kOffsetTableSize + i * kTableRecordSize;
        const std::uint32_t offset = ReadU32(data, record + 8);
        const std::uint32_t length = ReadU32(data, record + 12);
        if (offset > data.size() || length > data.size() - offset) {
            error = "a table of the font lies outside the file";
            out.clear();
            return false;
        }
        out.resize((out.size() + 3) & ~std::size_t(3), '\0');
        WriteU32(out, kOffsetTableSize + i * kTableRecordSize + 8, std::uint32_t(out.size()));
        out.append(data.substr(offset, length));
    }
    return true;
}

}  // namespace tavrin::platform
