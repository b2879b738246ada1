#include "update/archive.h"

#include <minizip/unzip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "platform/codepage.h"
#include "platform/file_output.h"
#include "platform/file_reader.h"
#include "platform/file_system.h"
#include "platform/system_paths.h"

namespace tavrin {

namespace {

constexpr std::uint32_t kEndRecordSignature = 0x06054b50;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kEndSearchSpan = 65535;
constexpr std::size_t kChunk = 0x4000;
constexpr std::uint32_t kUnixHost = 3;
constexpr std::uint32_t kUnixTypeMask = 0170000;
constexpr std::uint32_t kUnixLink = 0120000;

int g_lastResult = 0;

int Remember(int result) {
    g_lastResult = result;
    return result;
}

std::uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// Where an archive's bytes come from: a file, or a buffer the caller keeps alive as long as
// the archive is open.
struct ArchiveSource {
    bool inMemory = false;
    std::string path;
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// Reads either kind of source at any offset.
class SourceReader {
public:
    bool Open(const ArchiveSource& source) {
        m_inMemory = source.inMemory;
        if (!m_inMemory) {
            return m_file.Open(source.path);
        }
        m_data = source.data;
        m_size = source.size;
        return true;
    }
    std::uint64_t Size() const { return m_inMemory ? m_size : m_file.Size(); }
    // Bytes read at the offset (fewer at the end), or -1.
    long long ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
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

private:
    bool m_inMemory = false;
    platform::RandomAccessFile m_file;
    const unsigned char* m_data = nullptr;
    std::uint64_t m_size = 0;
};

// Finds the end record in the last 64 KiB and checks that it agrees with itself; minizip
// reads the container from there.
int CheckEndRecord(const ArchiveSource& source) {
    SourceReader reader;
    if (!reader.Open(source)) {
        return kArchiveCannotOpen;
    }
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
        const bool consistent = Le16(r + 4) == 0 && Le16(r + 6) == 0 &&
                                Le16(r + 8) == Le16(r + 10) &&
                                static_cast<std::uint64_t>(Le32(r + 16)) + Le32(r + 12) <= at;
        return consistent ? kArchiveOk : kArchiveInconsistent;
    }
    return kArchiveNoEndRecord;
}

// minizip reads the archive through these: positions are kept here, so its many seeks cost
// nothing, and small reads are served from windows of the file read at once. Two windows,
// because minizip walks the central directory and the entries' data side by side: one stays
// on each.
struct ReadWindow {
    std::vector<unsigned char> bytes;
    std::uint64_t start = 0;
    std::uint64_t lastUse = 0;

    // Without sums that could wrap: positions come from the archive's own fields, and a
    // zip64 record can put them just below 2^64.
    bool Holds(std::uint64_t from, std::uint64_t size) const {
        return from >= start && from - start <= bytes.size() &&
               size <= bytes.size() - (from - start);
    }
};

struct ArchiveStream {
    SourceReader file;
    std::uint64_t position = 0;
    ReadWindow windows[2];
    std::uint64_t uses = 0;
    bool failed = false;
};

constexpr std::size_t kWindowSize = 64 * 1024;

// The window holding [position, position + size), refilled from the file when none does;
// nullptr when the file cannot be read.
ReadWindow* WindowFor(ArchiveStream* s, std::uint64_t size) {
    ReadWindow* chosen = nullptr;
    for (ReadWindow& w : s->windows) {
        if (w.Holds(s->position, size)) {
            chosen = &w;
        }
    }
    if (chosen == nullptr) {
        chosen = s->windows[0].lastUse <= s->windows[1].lastUse ? &s->windows[0] : &s->windows[1];
        chosen->bytes.resize(kWindowSize);
        const long long n = s->file.ReadAt(s->position, chosen->bytes.data(), kWindowSize);
        if (n < 0) {
            chosen->bytes.clear();
            return nullptr;
        }
        chosen->bytes.resize(static_cast<std::size_t>(n));
        chosen->start = s->position;
    }
    chosen->lastUse = ++s->uses;
    return chosen;
}

// minizip hands the source over as its "file name".
voidpf ZOpen(voidpf, const void* source, int mode) {
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) {
        return nullptr;
    }
    auto stream = std::make_unique<ArchiveStream>();
    if (!stream->file.Open(*static_cast<const ArchiveSource*>(source))) {
        return nullptr;
    }
    return stream.release();
}

uLong ZRead(voidpf, voidpf handle, void* buffer, uLong size) {
    auto* s = static_cast<ArchiveStream*>(handle);
    auto* out = static_cast<unsigned char*>(buffer);
    if (size >= kWindowSize) {
        const long long n = s->file.ReadAt(s->position, out, size);
        if (n < 0) {
            s->failed = true;
            return 0;
        }
        s->position += static_cast<std::uint64_t>(n);
        return static_cast<uLong>(n);
    }
    const ReadWindow* w = WindowFor(s, size);
    if (w == nullptr) {
        s->failed = true;
        return 0;
    }
    const std::uint64_t available = w->start + w->bytes.size() - s->position;
    const uLong n = static_cast<uLong>(std::min<std::uint64_t>(size, available));
    std::memcpy(out, w->bytes.data() + (s->position - w->start), n);
    s->position += n;
    return n;
}

uLong ZWrite(voidpf, voidpf, const void*, uLong) {
    return 0;
}

ZPOS64_T ZTell(voidpf, voidpf handle) {
    return static_cast<ArchiveStream*>(handle)->position;
}

long ZSeek(voidpf, voidpf handle, ZPOS64_T offset, int origin) {
    auto* s = static_cast<ArchiveStream*>(handle);
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET:
            s->position = offset;
            return 0;
        case ZLIB_FILEFUNC_SEEK_CUR:
            s->position += offset;
            return 0;
        case ZLIB_FILEFUNC_SEEK_END:
            s->position = s->file.Size() + offset;
            return 0;
        default:
            return -1;
    }
}

int ZClose(voidpf, voidpf handle) {
    delete static_cast<ArchiveStream*>(handle);
    return 0;
}

int ZError(voidpf, voidpf handle) {
    return static_cast<ArchiveStream*>(handle)->failed ? 1 : 0;
}

unzFile OpenContainer(const ArchiveSource& source) {
    zlib_filefunc64_def functions{};
    functions.zopen64_file = &ZOpen;
    functions.zread_file = &ZRead;
    functions.zwrite_file = &ZWrite;
    functions.ztell64_file = &ZTell;
    functions.zseek64_file = &ZSeek;
    functions.zclose_file = &ZClose;
    functions.zerror_file = &ZError;
    return unzOpen2_64(&source, &functions);
}

}  // namespace

struct ArchiveHandle {
    int mode = 1;  // a reading handle
    unzFile zip = nullptr;
    int count = 0;
    int current = 0;  // the entry minizip stands on
    bool entryOpen = false;
    int cachedIndex = -1;
    ArchiveEntry cached;
    std::string root;
    // The folder the last file went into, checked for links and made: the next entries of
    // the same folder need neither again.
    std::string preparedFolder;
};

std::int64_t DosDateTimeToUnix(std::uint32_t dos) {
    const unsigned date = dos >> 16;
    const unsigned time = dos & 0xFFFF;
    int year = static_cast<int>((date >> 9) & 0x7F) + 1980;
    int month = static_cast<int>((date >> 5) & 0x0F);
    int day = static_cast<int>(date & 0x1F);
    month = month < 1 ? 1 : (month > 12 ? 12 : month);
    day = day < 1 ? 1 : day;
    // Days from 1970 by the civil calendar.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t days =
        static_cast<std::int64_t>(era) * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
    return days * 86400 + ((time >> 11) & 0x1F) * 3600 + ((time >> 5) & 0x3F) * 60 +
           (time & 0x1F) * 2;
}

bool ReadExtendedTimestamp(const unsigned char* extra, std::size_t size, std::int64_t& modified,
                           std::int64_t& accessed, std::int64_t& created, bool& hasModified,
                           bool& hasAccessed, bool& hasCreated) {
    hasModified = hasAccessed = hasCreated = false;
    for (std::size_t at = 0; size > 4 && at + 4 < size; at += 4 + extra[at + 2]) {
        const std::uint16_t length = Le16(extra + at + 2);
        if (extra[at] != 'U' || extra[at + 1] != 'T') {
            continue;
        }
        const std::size_t end = std::min(size, at + 4 + length);
        std::size_t p = at + 4;
        if (p >= end) {
            return false;
        }
        const unsigned flags = extra[p++];
        // The times that are there follow the flags in this order.
        std::int64_t* fields[] = {&modified, &accessed, &created};
        bool* present[] = {&hasModified, &hasAccessed, &hasCreated};
        for (int bit = 0; bit < 3; ++bit) {
            if ((flags & (1u << bit)) != 0 && p + 4 <= end) {
                *fields[bit] = static_cast<std::int32_t>(Le32(extra + p));
                *present[bit] = true;
                p += 4;
            }
        }
        return true;
    }
    return false;
}

std::uint32_t EntryAttributes(std::uint32_t a) {
    std::uint32_t attributes = kAttrNormal;
    if ((a & 0x40000000u) != 0 || (a & 0x10u) != 0) {
        attributes |= kAttrDirectory;
    }
    if ((a & 0x20u) != 0) {
        attributes |= kAttrArchive;
    }
    if ((a & 0x2u) != 0) {
        attributes |= kAttrHidden;
    }
    if ((a & 0x00800000u) == 0 || (a & 0x1u) != 0) {
        attributes |= kAttrReadOnly;
    }
    if ((a & 0x4u) != 0) {
        attributes |= kAttrSystem;
    }
    return attributes;
}

bool IsSafeEntryName(const std::string& name) {
    if (name.empty() || name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':')) {
        return false;
    }
    // The system would end the name at a NUL byte: the file would get another name than the
    // one checked here, and ".." right before the NUL would go unseen.
    if (name.find('\0') != std::string::npos) {
        return false;
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos) {
            end = name.size();
        }
        if (name.compare(start, end - start, "..") == 0) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

namespace {

ArchiveHandle* OpenSource(const ArchiveSource& source, const std::string& root, int& result) {
    result = CheckEndRecord(source);
    if (result == kArchiveOk) {
        unzFile zip = OpenContainer(source);
        unz_global_info64 info{};
        if (zip == nullptr || unzGetGlobalInfo64(zip, &info) != UNZ_OK) {
            if (zip != nullptr) {
                unzClose(zip);
            }
            result = kArchiveNoEndRecord;
        } else {
            auto* handle = new ArchiveHandle;
            handle->zip = zip;
            handle->count = static_cast<int>(info.number_entry);
            handle->root = root;
            if (handle->count > 0 && unzGoToFirstFile(zip) != UNZ_OK) {
                result = kArchiveBadLocalHeader;
                ArchiveClose(handle);
                Remember(result);
                return nullptr;
            }
            Remember(result);
            return handle;
        }
    }
    Remember(result);
    return nullptr;
}

}  // namespace

ArchiveHandle* ArchiveOpen(const std::string& path, const std::string& root, int& result) {
    ArchiveSource source;
    source.path = path;
    return OpenSource(source, root, result);
}

ArchiveHandle* ArchiveOpenMemory(const void* data, std::size_t size, const std::string& root,
                                 int& result) {
    ArchiveSource source;
    source.inMemory = true;
    source.data = static_cast<const unsigned char*>(data);
    source.size = data != nullptr ? size : 0;
    return OpenSource(source, root, result);
}

namespace {

// Moves minizip to the entry, forward where it can, from the start where it must.
int GoTo(ArchiveHandle* h, int index) {
    if (index < h->current) {
        if (unzGoToFirstFile(h->zip) != UNZ_OK) {
            return kArchiveBadLocalHeader;
        }
        h->current = 0;
    }
    while (h->current < index) {
        if (unzGoToNextFile(h->zip) != UNZ_OK) {
            return kArchiveBadLocalHeader;
        }
        ++h->current;
    }
    return kArchiveOk;
}

void CloseEntry(ArchiveHandle* h) {
    if (h->entryOpen) {
        unzCloseCurrentFile(h->zip);
        h->entryOpen = false;
    }
}

int Describe(ArchiveHandle* h, int index, ArchiveEntry& entry) {
    if (index == h->cachedIndex) {
        entry = h->cached;
        return kArchiveOk;
    }
    if (const int moved = GoTo(h, index); moved != kArchiveOk) {
        return moved;
    }
    unz_file_info64 info{};
    char name[kArchiveNameSize + 1] = {};
    if (unzGetCurrentFileInfo64(h->zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) !=
        UNZ_OK) {
        return kArchiveBadLocalHeader;
    }
    // A name that does not fit would be cut into another name.
    if (info.size_filename >= kArchiveNameSize) {
        return kArchiveBadArgument;
    }
    if (info.compression_method != 0 && info.compression_method != Z_DEFLATED) {
        return kArchiveBadLocalHeader;
    }
    // Opening the entry checks its local header against the central record.
    if (unzOpenCurrentFile(h->zip) != UNZ_OK) {
        return kArchiveBadLocalHeader;
    }
    h->entryOpen = true;
    const int extraSize = unzGetLocalExtrafield(h->zip, nullptr, 0);
    std::vector<unsigned char> extra(static_cast<std::size_t>(std::max(extraSize, 0)));
    if (extraSize < 0 ||
        (extraSize > 0 && unzGetLocalExtrafield(h->zip, extra.data(),
                                                static_cast<unsigned>(extraSize)) != extraSize)) {
        CloseEntry(h);
        return kArchiveBadExtraField;
    }
    CloseEntry(h);

    entry = {};
    entry.index = index;
    entry.name.assign(name, info.size_filename);
    const std::uint32_t external = static_cast<std::uint32_t>(info.external_fa);
    entry.attributes = EntryAttributes(external);
    // Some writers (Java's among them) give folder entries no attributes at all; the name's
    // trailing separator still says what they are.
    if (!entry.name.empty() && entry.name.back() == '/') {
        entry.attributes |= kAttrDirectory;
    }
    const std::int64_t dos = DosDateTimeToUnix(static_cast<std::uint32_t>(info.dosDate));
    entry.accessTime = entry.creationTime = entry.modificationTime = dos;
    bool m = false, a = false, c = false;
    std::int64_t modified = 0, accessed = 0, created = 0;
    if (ReadExtendedTimestamp(extra.data(), extra.size(), modified, accessed, created, m, a, c)) {
        entry.modificationTime = m ? modified : entry.modificationTime;
        entry.accessTime = a ? accessed : entry.accessTime;
        entry.creationTime = c ? created : entry.creationTime;
    }
    entry.compressedSize = static_cast<std::int32_t>(info.compressed_size);
    entry.uncompressedSize = static_cast<std::int32_t>(info.uncompressed_size);
    if ((info.version >> 8) == kUnixHost) {
        const std::uint32_t mode = external >> 16;
        entry.unixMode = mode & 07777;
        entry.isSymbolicLink = (mode & kUnixTypeMask) == kUnixLink;
    }
    h->cached = entry;
    h->cachedIndex = index;
    return kArchiveOk;
}

std::string Joined(const std::string& root, const std::string& relative) {
    std::string path = root + relative;
    for (std::size_t i = root.size(); i < path.size(); ++i) {
        if (path[i] == '/' || path[i] == '\\') {
            path[i] = platform::PathSeparator();
        }
    }
    return path;
}

}  // namespace

int ArchiveGetEntry(ArchiveHandle* handle, int index, ArchiveEntry& entry) {
    if (handle == nullptr || handle->mode != 1) {
        return Remember(kArchiveNotReading);
    }
    CloseEntry(handle);
    if (index < -1 || index >= handle->count) {
        return Remember(kArchiveBadArgument);
    }
    if (index == -1) {
        entry = {};
        entry.index = handle->count;
        return Remember(kArchiveOk);
    }
    return Remember(Describe(handle, index, entry));
}

int ArchiveExtractEntry(ArchiveHandle* handle, int index, const std::string& outputPath) {
    if (handle == nullptr || handle->mode != 1) {
        return Remember(kArchiveNotReading);
    }
    CloseEntry(handle);
    if (index < 0 || index >= handle->count) {
        return Remember(kArchiveBadArgument);
    }
    ArchiveEntry entry;
    if (const int described = Describe(handle, index, entry); described != kArchiveOk) {
        return Remember(described);
    }
    if (!IsSafeEntryName(outputPath)) {
        return Remember(kArchiveCannotOpen);
    }
    const std::string target = Joined(handle->root, outputPath);
    const std::size_t sep = platform::FindLastMbChar(target, platform::PathSeparator());
    const std::string folder = sep == std::string::npos ? std::string() : target.substr(0, sep);
    if (folder != handle->preparedFolder || (entry.attributes & kAttrDirectory) != 0) {
        if (platform::PathCrossesLink(handle->root, outputPath)) {
            return Remember(kArchiveCannotOpen);
        }
        if ((entry.attributes & kAttrDirectory) != 0) {
            platform::CreateDirTree(target);
            return Remember(kArchiveOk);
        }
        if (sep != std::string::npos && sep + 1 > handle->root.size() &&
            !platform::IsDirectory(folder)) {
            platform::CreateDirTree(folder);
        }
        handle->preparedFolder = folder;
    }
    platform::OutputFile out;
    // A link entry becomes a plain file holding the link's text, never a link.
    const bool readOnly = (entry.attributes & kAttrReadOnly) != 0;
    if (!out.Create(target, readOnly, entry.isSymbolicLink ? 0 : entry.unixMode)) {
        return Remember(kArchiveCannotOpen);
    }
    if (GoTo(handle, index) != kArchiveOk || unzOpenCurrentFile(handle->zip) != UNZ_OK) {
        return Remember(kArchiveReadWrite);
    }
    handle->entryOpen = true;
    std::vector<char> chunk(kChunk);
    bool failed = false;
    for (;;) {
        const int n =
            unzReadCurrentFile(handle->zip, chunk.data(), static_cast<unsigned>(chunk.size()));
        if (n == 0) {
            break;
        }
        if (n < 0 || !out.Write(chunk.data(), static_cast<std::size_t>(n))) {
            failed = true;
            break;
        }
    }
    // Data that ends before the size its header gives is damaged too, and minizip checks
    // the CRC-32 only once all of that size was read.
    if (unzeof(handle->zip) != 1) {
        failed = true;
    }
    // Closing checks the CRC-32 over everything read: a damaged entry is a failure.
    handle->entryOpen = false;
    if (unzCloseCurrentFile(handle->zip) != UNZ_OK) {
        failed = true;
    }
    if (!out.Close()) {
        failed = true;
    }
    if (!failed) {
        platform::SetFileTimes(target, entry.accessTime, entry.modificationTime);
    }
    return Remember(failed ? kArchiveReadWrite : kArchiveOk);
}

int ArchiveClose(ArchiveHandle* handle) {
    if (handle != nullptr) {
        CloseEntry(handle);
        if (handle->zip != nullptr) {
            unzClose(handle->zip);
        }
        delete handle;
    }
    return 0;
}

int ArchiveLastResult() {
    return g_lastResult;
}

bool ExtractArchive(const std::string& archive, const std::string& folder) {
    std::string root = folder;
    if (!platform::EndsWithSeparator(root)) {
        root += platform::PathSeparator();
    }
    platform::CreateDirTree(root);
    int result = 0;
    ArchiveHandle* handle = ArchiveOpen(archive, root, result);
    if (handle == nullptr) {
        return false;
    }
    ArchiveEntry count;
    ArchiveGetEntry(handle, -1, count);
    bool ok = true;
    for (int i = 0; i < count.index && ok; ++i) {
        ArchiveEntry entry;
        ok = ArchiveGetEntry(handle, i, entry) == kArchiveOk;
        if (ok && !IsSafeEntryName(entry.name)) {
            // The refusal has a result of its own, so callers never see a failure as 0.
            Remember(kArchiveCannotOpen);
            ok = false;
        }
        if (!ok) {
            break;
        }
        // An old read-only or hidden copy must not block the new one.
        const std::string target = Joined(root, entry.name);
        // A folder of that name stays (deleting it as a file simply fails).
        platform::DeleteFileForced(target);
        ok = ArchiveExtractEntry(handle, i, entry.name) == kArchiveOk;
    }
    ArchiveClose(handle);
    return ok;
}

}  // namespace tavrin
