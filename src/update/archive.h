// Reading ZIP archives (update packages): open, list, describe and unpack entries. The
// format is read here; zlib inflates. Results are codes, as the update worker checks them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "update/archive_result.h"

namespace tavrin {

inline constexpr int kArchiveNameSize = 260;

// Windows file attribute bits, as entries carry them.
enum : std::uint32_t {
    kAttrReadOnly = 0x1,
    kAttrHidden = 0x2,
    kAttrSystem = 0x4,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
    kAttrNormal = 0x80,
};

struct ArchiveEntry {
    int index = 0;  // for the count query (-1): the number of entries
    std::string name;
    std::uint32_t attributes = 0;
    // Seconds since 1970, UTC.
    std::int64_t accessTime = 0;
    std::int64_t creationTime = 0;
    std::int64_t modificationTime = 0;
    std::int32_t compressedSize = 0;
    std::int32_t uncompressedSize = 0;
    // Unix permission bits when the entry was made on a Unix host, else 0.
    std::uint32_t unixMode = 0;
    bool isSymbolicLink = false;
    bool encrypted = false;
    // The uncompressed size in full (uncompressedSize is the format's 32-bit field).
    std::uint64_t dataSize = 0;
};

struct ArchiveHandle;

// Opens the archive; entries are unpacked under `root` (with its separator).
ArchiveHandle* ArchiveOpen(const std::string& path, const std::string& root, int& result);
// The same over an archive in memory; the buffer must stay until ArchiveClose.
ArchiveHandle* ArchiveOpenMemory(const void* data, std::size_t size, const std::string& root,
                                 int& result);
int ArchiveGetEntry(ArchiveHandle* handle, int index, ArchiveEntry& entry);
// Unpacks the entry to root + outputPath (a relative path).
int ArchiveExtractEntry(ArchiveHandle* handle, int index, const std::string& outputPath);
int ArchiveClose(ArchiveHandle* handle);

// The result of the latest archive call.
int ArchiveLastResult();

// True when the entry name may be unpacked: relative, no drive prefix, no ".." part, and no
// part that Windows would read otherwise than written (a device name such as "nul.txt" or
// "COM1", a trailing dot or blank), whatever system unpacks it.
bool IsSafeEntryName(const std::string& name);

// What an unpacking did: the files written in full, and when it failed, the entry it failed on
// and why, in words.
struct ExtractReport {
    std::vector<std::string> written;
    std::string failedEntry;
    std::string error;
};

// Unpacks every entry into the folder, replacing existing files; true when every entry was
// unpacked. Stops at the first entry that fails, or whose name would leave the folder; the
// file it was writing then is removed, and `report` (when given) says what was written.
bool ExtractArchive(const std::string& archive, const std::string& folder,
                    ExtractReport* report = nullptr);

// DOS date and time (high word date) as seconds since 1970, without any zone conversion.
std::int64_t DosDateTimeToUnix(std::uint32_t dosDateTime);
// The times of the first "UT" block of a local extra field; false when there is none.
bool ReadExtendedTimestamp(const unsigned char* extra, std::size_t size, std::int64_t& modified,
                           std::int64_t& accessed, std::int64_t& created, bool& hasModified,
                           bool& hasAccessed, bool& hasCreated);
// The Windows attributes of an entry from its central record's external attributes.
std::uint32_t EntryAttributes(std::uint32_t externalAttributes);

}  // namespace tavrin
