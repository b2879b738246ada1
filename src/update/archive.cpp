#include "update/archive.h"

#include <minizip/unzip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "platform/codepage.h"
#include "platform/file_output.h"
#include "platform/file_system.h"
#include "platform/system_paths.h"
#include "update/archive_source.h"

namespace tavrin {

namespace {

constexpr std::size_t kChunk = 0x4000;
constexpr std::uint32_t kUnixHost = 3;
constexpr std::uint32_t kUnixTypeMask = 0170000;
constexpr std::uint32_t kUnixLink = 0120000;

int g_lastResult = 0;

int Remember(int result) {
    g_lastResult = result;
    return result;
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

namespace {

ArchiveHandle* OpenSource(const ArchiveSource& source, const std::string& root, int& result) {
    result = CheckEndRecord(source);
    if (result == kArchiveOk) {
        unzFile zip = OpenContainer(source);
        unz_global_info64 info{};
        // Entries are counted in an int: a zip64 count beyond it would wrap to nothing, or to a
        // few, and the archive would seem read. No package holds that many entries.
        if (zip == nullptr || unzGetGlobalInfo64(zip, &info) != UNZ_OK ||
            info.number_entry > static_cast<ZPOS64_T>(std::numeric_limits<int>::max())) {
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
