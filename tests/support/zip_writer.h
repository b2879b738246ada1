// ZIP archives written with minizip's own writer, for the tests of the reader and the update.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin::test {

// Compression methods of an entry (minizip's and zlib's numbers).
constexpr int kZipStored = 0;
constexpr int kZipDeflated = 8;

struct ZipEntry {
    std::string name;  // a trailing '/' makes a folder entry
    std::string content;
    // The Unix mode with its file type bits (0100755 ...): the entry is then marked as made on
    // Unix and carries the mode, as a Unix zip tool writes it. 0: no mode, made on MS-DOS, as
    // minizip writes it by default.
    std::uint32_t unixMode = 0;
    int method = kZipDeflated;  // another number: the content is stored, marked with it
    // The low byte of the external attributes: the DOS attribute bits (0x10 a folder).
    std::uint32_t dosAttributes = 0;
    // Non-empty: the entry is encrypted with it (the traditional PKWARE cipher).
    std::string password;
    // The entry carries ZIP64 fields, whatever its size.
    bool zip64 = false;
};

// Writes the archive at `path` (every entry dated 2025-04-12 12:00:00); returns false when
// minizip refuses.
bool WriteZip(const std::string& path, const std::vector<ZipEntry>& entries);

}  // namespace tavrin::test
