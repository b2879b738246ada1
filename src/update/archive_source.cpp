#include "update/archive_source.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "update/archive_result.h"

namespace tavrin {

namespace {

constexpr std::uint32_t kEndRecordSignature = 0x06054b50;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kEndSearchSpan = 65535;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kChunk = 64 * 1024;
constexpr std::uint32_t kPlaceholder32 = 0xFFFFFFFF;

}  // namespace

bool ArchiveBytes::Open(const ArchiveSource& source) {
    m_inMemory = source.inMemory;
    if (!m_inMemory) {
        return m_file.Open(source.path);
    }
    m_data = source.data;
    m_size = source.size;
    return true;
}

long long ArchiveBytes::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
    if (size == 0) {
        return 0;  // nothing to read, into what may be no buffer at all
    }
    if (!m_inMemory) {
        return m_file.ReadAt(offset, buffer, size);
    }
    if (offset >= m_size) {
        return 0;
    }
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size, m_size - offset));
    std::memcpy(buffer, m_data + offset, n);
    return static_cast<long long>(n);
}

namespace {

constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kCentralSize = 46;

struct EndRecords {
    std::uint64_t endAt = 0;        // where the directory must end: the first end record
    std::uint64_t entries = 0;      // the total count
    std::uint64_t entriesHere = 0;  // the count on this disk
    std::uint64_t size = 0;         // the directory's
    std::uint64_t offset = 0;       // the directory's, from the archive's start
    std::uint64_t skip = 0;
    bool zip64 = false;
};

// The ZIP64 end record that the locator before the end record at `at` points to, read over
// the classic one's fields. With bytes before the archive the locator's offset is short by
// their number; the record then lies right before the locator, as every writer puts it.
int ReadZip64End(ArchiveBytes& reader, std::uint64_t at, EndRecords& end) {
    unsigned char locator[kZip64LocatorSize];
    if (at < kZip64LocatorSize ||
        reader.ReadAt(at - kZip64LocatorSize, locator, sizeof locator) !=
            static_cast<long long>(sizeof locator) ||
        Le32(locator) != kZip64LocatorSignature) {
        return kArchiveOk;  // none
    }
    const std::uint64_t locatorAt = at - kZip64LocatorSize;
    if (Le32(locator + 4) != 0 || Le32(locator + 16) > 1) {
        return kArchiveInconsistent;  // another disk's
    }
    const std::uint64_t declared = Le64(locator + 8);
    unsigned char record[kZip64EndSize];
    std::uint64_t found = declared;
    for (const std::uint64_t candidate :
         {declared, locatorAt >= kZip64EndSize ? locatorAt - kZip64EndSize : declared}) {
        if (candidate <= locatorAt && locatorAt - candidate >= kZip64EndSize &&
            reader.ReadAt(candidate, record, sizeof record) ==
                static_cast<long long>(sizeof record) &&
            Le32(record) == kZip64EndSignature) {
            found = candidate;
            break;
        }
        found = ~std::uint64_t{0};
    }
    if (found == ~std::uint64_t{0} || found < declared) {
        return kArchiveInconsistent;
    }
    if (Le32(record + 16) != 0 || Le32(record + 20) != 0) {
        return kArchiveInconsistent;
    }
    end.zip64 = true;
    end.skip = found - declared;
    end.endAt = found;
    end.entriesHere = Le64(record + 24);
    end.entries = Le64(record + 32);
    end.size = Le64(record + 40);
    end.offset = Le64(record + 48);
    return kArchiveOk;
}

// The end record (the last in the file's last 64 KiB), and the ZIP64 one when there is one.
int ReadEndRecords(ArchiveBytes& reader, EndRecords& end) {
    const std::uint64_t size = reader.Size();
    const std::size_t span =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, kEndSearchSpan + kEndRecordSize));
    std::vector<unsigned char> tail(span);
    if (reader.ReadAt(size - span, tail.data(), span) != static_cast<long long>(span)) {
        return kArchiveNoEndRecord;
    }
    for (std::size_t i = span >= kEndRecordSize ? span - kEndRecordSize + 1 : 0; i-- > 0;) {
        if (Le32(&tail[i]) != kEndRecordSignature) {
            continue;
        }
        const std::uint64_t at = size - span + i;
        if (at == 0) {
            return kArchiveNoEndRecord;  // an archive that is nothing but its end record
        }
        const unsigned char* r = &tail[i];
        end.endAt = at;
        end.entriesHere = Le16(r + 8);
        end.entries = Le16(r + 10);
        end.size = Le32(r + 12);
        end.offset = Le32(r + 16);
        if (const int zip64 = ReadZip64End(reader, at, end); zip64 != kArchiveOk) {
            return zip64;
        }
        // Only the placeholders leave the ZIP64 record to say what the disk numbers mean.
        if (!end.zip64 && (Le16(r + 4) != 0 || Le16(r + 6) != 0)) {
            return kArchiveInconsistent;
        }
        // The directory lies before the end records. Bytes before the archive (a
        // self-extracting stub) are what lies between where the classic record says the
        // directory ends and where it does; the ZIP64 record has told its own already.
        const std::uint64_t room = end.endAt - end.skip;
        if (end.entriesHere != end.entries || end.offset > room || end.size > room - end.offset) {
            return kArchiveInconsistent;
        }
        if (!end.zip64) {
            end.skip = room - end.offset - end.size;
        }
        return kArchiveOk;
    }
    return kArchiveNoEndRecord;
}

// The count the end records declare, against the records the directory holds.
bool CountsAgree(const EndRecords& end, std::uint64_t found) {
    if (found == end.entries) {
        return true;
    }
    // The classic record's 16-bit count wraps past 65,535 entries (or says 0xFFFF).
    return !end.zip64 && found > 0xFFFF &&
           ((found & 0xFFFF) == end.entries || end.entries == 0xFFFF);
}

}  // namespace

namespace {

// One central record at `r`, `available` bytes of the directory from there; its length in
// the directory, or 0 when it is not a whole record.
std::size_t ParseCentralRecord(const unsigned char* r, std::size_t available, CentralRecord& out) {
    if (available < kCentralSize || Le32(r) != kCentralSignature) {
        return 0;
    }
    const std::size_t nameLength = Le16(r + 28);
    const std::size_t extraLength = Le16(r + 30);
    const std::size_t length = kCentralSize + nameLength + extraLength + Le16(r + 32);
    if (length > available) {
        return 0;
    }
    out = {};
    out.madeBy = Le16(r + 4);
    out.flags = Le16(r + 8);
    out.method = Le16(r + 10);
    out.dosDateTime = Le32(r + 12);
    out.crc = Le32(r + 16);
    out.compressedSize = Le32(r + 20);
    out.uncompressedSize = Le32(r + 24);
    out.externalAttributes = Le32(r + 38);
    out.localHeader = Le32(r + 42);
    out.name.assign(reinterpret_cast<const char*>(r + kCentralSize), nameLength);
    // The ZIP64 field holds, in this order, each of the values whose own field is the
    // placeholder; a value that is missing from it leaves the record unreadable.
    std::uint64_t* wide[] = {&out.uncompressedSize, &out.compressedSize, &out.localHeader};
    const bool needed = out.uncompressedSize == kPlaceholder32 ||
                        out.compressedSize == kPlaceholder32 || out.localHeader == kPlaceholder32;
    const unsigned char* extra = r + kCentralSize + nameLength;
    for (std::size_t at = 0; needed && at + 4 <= extraLength;) {
        const std::size_t size = Le16(extra + at + 2);
        if (Le16(extra + at) == 0x0001) {
            std::size_t p = at + 4;
            for (std::uint64_t* value : wide) {
                if (*value != kPlaceholder32) {
                    continue;
                }
                if (p + 8 > at + 4 + size || p + 8 > extraLength) {
                    return 0;
                }
                *value = Le64(extra + p);
                p += 8;
            }
            return length;
        }
        at += 4 + size;
    }
    return needed ? 0 : length;
}

// What may follow the last record in the directory: nothing, or the directory's digital
// signature record, whole.
bool IsDirectorySignature(const unsigned char* r, std::size_t available) {
    constexpr std::uint32_t kSignatureRecord = 0x05054b50;
    return available == 0 || (available >= 6 && Le32(r) == kSignatureRecord &&
                              std::size_t{6} + static_cast<std::size_t>(Le16(r + 4)) == available);
}

}  // namespace

int ReadCentralDirectory(ArchiveBytes& reader, CentralDirectory& directory) {
    EndRecords end;
    if (const int read = ReadEndRecords(reader, end); read != kArchiveOk) {
        return read;
    }
    directory = {};
    directory.skip = end.skip;
    directory.zip64 = end.zip64;
    directory.declaredEntries = end.entries;
    // The directory is read whole: it lies inside the file, which bounds its size.
    std::vector<unsigned char> bytes(static_cast<std::size_t>(end.size));
    if (reader.ReadAt(end.skip + end.offset, bytes.data(), bytes.size()) !=
        static_cast<long long>(bytes.size())) {
        return kArchiveNoEndRecord;
    }
    std::size_t at = 0;
    while (at < bytes.size()) {
        CentralRecord record;
        const std::size_t length = ParseCentralRecord(&bytes[at], bytes.size() - at, record);
        if (length == 0) {
            break;
        }
        directory.entries.push_back(std::move(record));
        at += length;
    }
    // The records must fill the directory: one that cannot be read would end it early, and
    // with a count that wraps at 65,536 the entries after it would go missing unnoticed.
    const std::uint64_t found = directory.entries.size();
    if ((found == 0 && (end.entries != 0 || end.size != 0)) || !CountsAgree(end, found) ||
        !IsDirectorySignature(bytes.data() + at, bytes.size() - at)) {
        return kArchiveInconsistent;
    }
    return kArchiveOk;
}

int ReadLocalHeader(ArchiveBytes& bytes, std::uint64_t skip, const CentralRecord& entry,
                    std::uint64_t& dataStart, std::vector<unsigned char>& extra) {
    unsigned char header[kLocalSize];
    const std::uint64_t at = skip + entry.localHeader;
    if (at < entry.localHeader ||
        bytes.ReadAt(at, header, sizeof header) != static_cast<long long>(sizeof header) ||
        Le32(header) != kLocalSignature || Le16(header + 8) != entry.method) {
        return kArchiveBadLocalHeader;
    }
    const std::size_t nameLength = Le16(header + 26);
    const std::size_t extraLength = Le16(header + 28);
    std::vector<unsigned char> rest(nameLength + extraLength);
    if (bytes.ReadAt(at + kLocalSize, rest.data(), rest.size()) !=
            static_cast<long long>(rest.size()) ||
        std::string(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(nameLength)) !=
            entry.name) {
        return kArchiveBadLocalHeader;
    }
    extra.assign(rest.begin() + static_cast<std::ptrdiff_t>(nameLength), rest.end());
    dataStart = at + kLocalSize + rest.size();
    // The data must lie inside the archive, without a sum that could wrap.
    const std::uint64_t size = bytes.Size();
    if (dataStart > size || entry.compressedSize > size - dataStart) {
        return kArchiveBadLocalHeader;
    }
    return kArchiveOk;
}

namespace {

// Reads the compressed bytes in pieces, each handed to `take`, which says whether to go on.
template <typename Take>
bool ReadPieces(ArchiveBytes& bytes, std::uint64_t from, std::uint64_t size, Take take) {
    std::vector<unsigned char> piece(kChunk);
    for (std::uint64_t done = 0; done < size;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - done));
        if (bytes.ReadAt(from + done, piece.data(), n) != static_cast<long long>(n)) {
            return false;
        }
        done += n;
        if (!take(piece.data(), n, done == size)) {
            return false;
        }
    }
    return true;
}

}  // namespace

int ReadEntryData(ArchiveBytes& bytes, std::uint64_t dataStart, const CentralRecord& entry,
                  const std::function<bool(const char*, std::size_t)>& write) {
    uLong crc = crc32(0, nullptr, 0);
    std::uint64_t total = 0;
    bool writeFailed = false;
    const auto deliver = [&](const unsigned char* data, std::size_t n) {
        crc = crc32(crc, data, static_cast<uInt>(n));
        total += n;
        if (total > entry.uncompressedSize || !write(reinterpret_cast<const char*>(data), n)) {
            writeFailed = total <= entry.uncompressedSize;
            return false;
        }
        return true;
    };
    bool read = false;
    if (entry.method == 0 || (entry.compressedSize == 0 && entry.uncompressedSize == 0)) {
        // Stored, or nothing at all (some writers mark an empty file deflated with no data).
        read = ReadPieces(
            bytes, dataStart, entry.compressedSize,
            [&](const unsigned char* data, std::size_t n, bool) { return deliver(data, n); });
    } else {
        z_stream stream{};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
            return kArchiveReadWrite;
        }
        std::vector<unsigned char> out(kChunk);
        bool ended = false;
        read = ReadPieces(bytes, dataStart, entry.compressedSize,
                          [&](const unsigned char* data, std::size_t n, bool) {
                              stream.next_in = const_cast<unsigned char*>(data);
                              stream.avail_in = static_cast<uInt>(n);
                              while (stream.avail_in > 0 && !ended) {
                                  stream.next_out = out.data();
                                  stream.avail_out = static_cast<uInt>(out.size());
                                  const int status = inflate(&stream, Z_NO_FLUSH);
                                  if (status != Z_OK && status != Z_STREAM_END) {
                                      return false;
                                  }
                                  ended = status == Z_STREAM_END;
                                  if (!deliver(out.data(), out.size() - stream.avail_out)) {
                                      return false;
                                  }
                              }
                              return true;
                          });
        // The stream's end must come with the entry's data, and only then.
        while (read && !ended) {
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            const int status = inflate(&stream, Z_FINISH);
            if ((status != Z_STREAM_END && status != Z_BUF_ERROR && status != Z_OK) ||
                !deliver(out.data(), out.size() - stream.avail_out) ||
                (status == Z_BUF_ERROR && out.size() == stream.avail_out)) {
                read = false;
            }
            ended = status == Z_STREAM_END;
        }
        inflateEnd(&stream);
    }
    if (writeFailed) {
        return kArchiveWriteFailed;
    }
    return read && total == entry.uncompressedSize && crc == entry.crc ? kArchiveOk
                                                                       : kArchiveReadWrite;
}

}  // namespace tavrin
