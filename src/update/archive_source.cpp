#include "update/archive_source.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/file_reader.h"
#include "update/archive_result.h"

namespace tavrin {

namespace {

constexpr std::uint32_t kEndRecordSignature = 0x06054b50;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kEndSearchSpan = 65535;

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

}  // namespace

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

}  // namespace tavrin
