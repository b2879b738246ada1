// Where a ZIP archive's bytes come from (a file, or a buffer in memory), and the format read
// from them: the end records, the central directory with each entry's record, an entry's
// local header and its data, inflated with zlib and checked against its size and CRC-32.
//
// The format is read here rather than through minizip: the minizip Debian ships counts entries
// by the end record's 16-bit field, misreads the ZIP64 sizes of some writers (then reads at
// most 4 GiB - 1 bytes of an entry and checks no CRC), and looks for a ZIP64 archive's
// directory in the wrong place after a self-extracting stub.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/file_reader.h"

namespace tavrin {

// Where an archive's bytes come from: a file, or a buffer the caller keeps alive as long as
// the archive is open.
struct ArchiveSource {
    bool inMemory = false;
    std::string path;
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// Reads either kind of source at any offset.
class ArchiveBytes {
public:
    bool Open(const ArchiveSource& source);
    std::uint64_t Size() const { return m_inMemory ? m_size : m_file.Size(); }
    // Bytes read at the offset (fewer at the end), or -1.
    long long ReadAt(std::uint64_t offset, void* buffer, std::size_t size);

private:
    bool m_inMemory = false;
    platform::RandomAccessFile m_file;
    const unsigned char* m_data = nullptr;
    std::uint64_t m_size = 0;
};

// An entry's central record, its ZIP64 fields applied.
struct CentralRecord {
    std::string name;
    std::uint16_t madeBy = 0;  // high byte: the host (3 is Unix)
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t dosDateTime = 0;
    std::uint32_t crc = 0;
    std::uint32_t externalAttributes = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint64_t localHeader = 0;  // from the archive's start (after any stub)
};

// What the end records say of the central directory, and the entries it holds.
struct CentralDirectory {
    std::uint64_t skip = 0;  // bytes before the archive (a self-extracting program's stub)
    bool zip64 = false;
    std::uint64_t declaredEntries = 0;
    std::vector<CentralRecord> entries;
};

// Finds the end record in the last 64 KiB (and the ZIP64 end record it points to), and reads
// the central directory as far as its declared size goes, as Info-ZIP does: kArchiveOk,
// kArchiveNoEndRecord, or kArchiveInconsistent when the records contradict themselves or the
// directory (an entry count it does not hold, other than the 16-bit count's known wrap; a
// directory of some size or some entries where none can be read; a record whose ZIP64 field
// is missing).
int ReadCentralDirectory(ArchiveBytes& bytes, CentralDirectory& directory);

// Where the entry's data starts, and its local extra field: kArchiveOk, or
// kArchiveBadLocalHeader when the local header is not there or disagrees with the central
// record (another name or method, data past the end of the archive).
int ReadLocalHeader(ArchiveBytes& bytes, std::uint64_t skip, const CentralRecord& entry,
                    std::uint64_t& dataStart, std::vector<unsigned char>& extra);

// The entry's data, stored or deflated, handed to `write` piece by piece: kArchiveOk once all
// of its size has come and its CRC-32 is right; kArchiveReadWrite when the data is damaged
// (does not inflate, ends early or late, fails its CRC); kArchiveWriteFailed when `write`
// said no.
int ReadEntryData(ArchiveBytes& bytes, std::uint64_t dataStart, const CentralRecord& entry,
                  const std::function<bool(const char*, std::size_t)>& write);

// Little-endian fields of the ZIP format.
inline std::uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint16_t Le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint64_t Le64(const unsigned char* p) {
    return Le32(p) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

}  // namespace tavrin
