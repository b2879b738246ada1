#include "update/archive.h"

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

constexpr std::uint32_t kUnixHost = 3;
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint32_t kUnixTypeMask = 0170000;
constexpr std::uint32_t kUnixLink = 0120000;
constexpr std::uint32_t kUnixFolder = 0040000;
constexpr std::uint16_t kFlagEncrypted = 0x1;

int g_lastResult = 0;

int Remember(int result) {
    g_lastResult = result;
    return result;
}

}  // namespace

struct ArchiveHandle {
    int mode = 1;  // a reading handle
    ArchiveBytes bytes;
    std::uint64_t skip = 0;  // bytes before the archive
    std::vector<CentralRecord> entries;
    int count = 0;
    int cachedIndex = -1;
    ArchiveEntry cached;
    std::string root;
    // The folder the last file went into, checked for links and made: the next entries of
    // the same folder need neither again.
    std::string preparedFolder;
};

namespace {

ArchiveHandle* OpenSource(const ArchiveSource& source, const std::string& root, int& result) {
    auto handle = std::make_unique<ArchiveHandle>();
    if (!handle->bytes.Open(source)) {
        result = Remember(kArchiveCannotOpen);
        return nullptr;
    }
    CentralDirectory directory;
    result = ReadCentralDirectory(handle->bytes, directory);
    if (result == kArchiveOk &&
        directory.entries.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        result = kArchiveInconsistent;  // entries are counted in an int
    }
    Remember(result);
    if (result != kArchiveOk) {
        return nullptr;
    }
    handle->skip = directory.skip;
    handle->entries = std::move(directory.entries);
    handle->count = static_cast<int>(handle->entries.size());
    handle->root = root;
    return handle.release();
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

int Describe(ArchiveHandle* h, int index, ArchiveEntry& entry) {
    if (index == h->cachedIndex) {
        entry = h->cached;
        return kArchiveOk;
    }
    const CentralRecord& record = h->entries[static_cast<std::size_t>(index)];
    // A name that does not fit would be cut into another name.
    if (record.name.size() >= static_cast<std::size_t>(kArchiveNameSize)) {
        return kArchiveBadArgument;
    }
    if (record.method != kStored && record.method != kDeflated) {
        return kArchiveUnsupportedMethod;
    }
    // The local header must agree with the central record; its extra field has the times.
    std::uint64_t dataStart = 0;
    std::vector<unsigned char> extra;
    if (const int local = ReadLocalHeader(h->bytes, h->skip, record, dataStart, extra);
        local != kArchiveOk) {
        return local;
    }
    entry = {};
    entry.index = index;
    entry.name = record.name;
    const std::uint32_t external = record.externalAttributes;
    entry.attributes = EntryAttributes(external);
    // What is a folder: the name's trailing separator says so (some writers, Java's among
    // them, give folder entries no attributes at all), and so does the file type of an entry
    // made on Unix. The DOS folder bit alone does not: on Unix it is whatever the writer left
    // in the byte, and other readers make an entry named without the separator a file.
    const bool unixMade = (record.madeBy >> 8) == kUnixHost;
    const std::uint32_t unixType = (external >> 16) & kUnixTypeMask;
    const bool folder =
        (!entry.name.empty() && entry.name.back() == '/') || (unixMade && unixType == kUnixFolder);
    entry.attributes = folder ? (entry.attributes | kAttrDirectory)
                              : (entry.attributes & ~std::uint32_t{kAttrDirectory});
    entry.encrypted = (record.flags & kFlagEncrypted) != 0;
    entry.dataSize = record.uncompressedSize;
    const std::int64_t dos = DosDateTimeToUnix(record.dosDateTime);
    entry.accessTime = entry.creationTime = entry.modificationTime = dos;
    bool m = false, a = false, c = false;
    std::int64_t modified = 0, accessed = 0, created = 0;
    if (ReadExtendedTimestamp(extra.data(), extra.size(), modified, accessed, created, m, a, c)) {
        entry.modificationTime = m ? modified : entry.modificationTime;
        entry.accessTime = a ? accessed : entry.accessTime;
        entry.creationTime = c ? created : entry.creationTime;
    }
    entry.compressedSize = static_cast<std::int32_t>(record.compressedSize);
    entry.uncompressedSize = static_cast<std::int32_t>(record.uncompressedSize);
    if (unixMade) {
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
    if (index < 0 || index >= handle->count) {
        return Remember(kArchiveBadArgument);
    }
    ArchiveEntry entry;
    if (const int described = Describe(handle, index, entry); described != kArchiveOk) {
        return Remember(described);
    }
    if (!IsSafeEntryName(outputPath)) {
        return Remember(kArchiveUnsafeName);
    }
    if (entry.encrypted) {
        return Remember(kArchiveEncrypted);
    }
    if ((entry.attributes & kAttrDirectory) != 0 && entry.dataSize != 0) {
        return Remember(kArchiveFolderWithData);  // its bytes would be lost
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
    const CentralRecord& record = handle->entries[static_cast<std::size_t>(index)];
    std::uint64_t dataStart = 0;
    std::vector<unsigned char> extra;
    int failure = ReadLocalHeader(handle->bytes, handle->skip, record, dataStart, extra);
    if (failure == kArchiveOk) {
        failure = ReadEntryData(
            handle->bytes, dataStart, record,
            [&out](const char* data, std::size_t size) { return out.Write(data, size); });
    }
    if (!out.Close() && failure == kArchiveOk) {
        failure = kArchiveWriteFailed;
    }
    if (failure != kArchiveOk) {
        // No file of the entry's name with bytes that are not the entry's.
        platform::DeleteFileForced(target);
        return Remember(failure);
    }
    platform::SetFileTimes(target, entry.accessTime, entry.modificationTime);
    return Remember(kArchiveOk);
}

int ArchiveClose(ArchiveHandle* handle) {
    delete handle;
    return 0;
}

int ArchiveLastResult() {
    return g_lastResult;
}

const char* ArchiveResultText(int result) {
    switch (result) {
        case kArchiveOk:
            return "no error";
        case kArchiveCannotOpen:
            return "the archive or an output file cannot be opened";
        case kArchiveWriteFailed:
            return "an output file cannot be written in full (is the disk full?)";
        case kArchiveReadWrite:
            return "an entry's data is damaged: it does not inflate, ends early or fails its "
                   "CRC-32 check";
        case kArchiveBadLocalHeader:
            return "an entry's local header does not match the central directory";
        case kArchiveUnsupportedMethod:
            return "an entry is compressed with a method this launcher cannot unpack (it reads "
                   "stored and Deflate entries)";
        case kArchiveBadExtraField:
            return "an entry's extra field cannot be read";
        case kArchiveEncrypted:
            return "encrypted entries are not supported";
        case kArchiveFolderWithData:
            return "an entry marked as a folder carries data";
        case kArchiveUnsafeName:
            return "an entry's name would leave the folder (absolute, \"..\" or a name Windows "
                   "reads otherwise)";
        case kArchiveBadArgument:
            return "an entry's name is too long";
        case kArchiveInconsistent:
            return "the archive's end records contradict themselves or its central directory "
                   "(entries are missing)";
        case kArchiveNoEndRecord:
            return "not a ZIP archive (no end record), or it cannot be read";
        default:
            return "the archive cannot be read";
    }
}

namespace {

// The methods other writers use, by the numbers of the ZIP format's description.
std::string CompressionMethodName(int method) {
    switch (method) {
        case 1:
            return "Shrink";
        case 2:
        case 3:
        case 4:
        case 5:
            return "Reduce";
        case 6:
            return "Implode";
        case 9:
            return "Deflate64";
        case 10:
            return "PKWARE DCL Implode";
        case 12:
            return "bzip2";
        case 14:
            return "LZMA";
        case 93:
            return "Zstandard";
        case 95:
            return "XZ";
        case 98:
            return "PPMd";
        case 99:
            return "AES encryption";
        default:
            return "method " + std::to_string(method);
    }
}

}  // namespace

bool ExtractArchive(const std::string& archive, const std::string& folder, ExtractReport* report) {
    ExtractReport local;
    ExtractReport& r = report != nullptr ? *report : local;
    r = {};
    std::string root = folder;
    if (!platform::EndsWithSeparator(root)) {
        root += platform::PathSeparator();
    }
    platform::CreateDirTree(root);
    int result = 0;
    ArchiveHandle* handle = ArchiveOpen(archive, root, result);
    if (handle == nullptr) {
        r.error = ArchiveResultText(result);
        return false;
    }
    bool ok = true;
    for (int i = 0; i < handle->count && ok; ++i) {
        ArchiveEntry entry;
        int step = ArchiveGetEntry(handle, i, entry);
        if (step == kArchiveOk && !IsSafeEntryName(entry.name)) {
            // The refusal has a result of its own, so callers never see a failure as 0.
            step = Remember(kArchiveUnsafeName);
        }
        if (step == kArchiveOk) {
            // An old read-only or hidden copy must not block the new one. A folder of that
            // name stays (deleting it as a file simply fails).
            platform::DeleteFileForced(Joined(root, entry.name));
            step = ArchiveExtractEntry(handle, i, entry.name);
        }
        if (step != kArchiveOk) {
            const CentralRecord& record = handle->entries[static_cast<std::size_t>(i)];
            r.failedEntry = !entry.name.empty()    ? entry.name
                            : !record.name.empty() ? record.name
                                                   : "entry " + std::to_string(i + 1);
            r.error = ArchiveResultText(step);
            if (step == kArchiveUnsupportedMethod) {
                r.error += ": " + CompressionMethodName(record.method);
            }
            ok = false;
        } else if ((entry.attributes & kAttrDirectory) == 0) {
            r.written.push_back(entry.name);
        }
    }
    ArchiveClose(handle);
    return ok;
}

}  // namespace tavrin
