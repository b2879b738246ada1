// Where a ZIP archive's bytes come from (a file, or a buffer in memory) and minizip's way of
// reading them: its seeks are kept here and its many small reads are served from windows of
// the source read at once.
#pragma once

#include <minizip/unzip.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavrin {

// Where an archive's bytes come from: a file, or a buffer the caller keeps alive as long as
// the archive is open.
struct ArchiveSource {
    bool inMemory = false;
    std::string path;
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// Finds the end record in the last 64 KiB and checks that it agrees with itself:
// kArchiveOk, kArchiveCannotOpen (the file cannot be opened), kArchiveNoEndRecord or
// kArchiveInconsistent.
int CheckEndRecord(const ArchiveSource& source);

// minizip over the source (which must stay until unzClose); nullptr when it cannot read it.
unzFile OpenContainer(const ArchiveSource& source);

// Little-endian fields of the ZIP format.
inline std::uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint16_t Le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace tavrin
