#include "support/zip_writer.h"

#include <minizip/zip.h>

#include <utility>

#include "platform/file_output.h"
#include "platform/file_system.h"

namespace tavrin::test {

static_assert(kZipStored == 0 && kZipDeflated == Z_DEFLATED);

namespace {

// minizip writes stored and deflated entries only; others are stored, then marked.
int Writable(int method) {
    return method == kZipDeflated ? kZipDeflated : kZipStored;
}

// Gives each entry whose method minizip could not write its own number, in its local header
// (offset 8) and its central record (offset 10).
bool MarkMethods(const std::string& path, const std::vector<ZipEntry>& entries) {
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes)) {
        return false;
    }
    bool changed = false;
    for (const ZipEntry& entry : entries) {
        if (entry.method == Writable(entry.method)) {
            continue;
        }
        for (const auto& [signature, at] :
             {std::pair<std::string, std::size_t>{"PK\x03\x04", 8},
              std::pair<std::string, std::size_t>{"PK\x01\x02", 10}}) {
            const std::size_t nameAt = signature[2] == 3 ? 30 : 46;
            for (std::size_t p = bytes.find(signature); p != std::string::npos;
                 p = bytes.find(signature, p + 4)) {
                if (bytes.compare(p + nameAt, entry.name.size(), entry.name) == 0) {
                    bytes[p + at] = static_cast<char>(entry.method & 0xFF);
                    bytes[p + at + 1] = static_cast<char>(entry.method >> 8);
                    changed = true;
                    break;
                }
            }
        }
    }
    platform::OutputFile out;
    return !changed ||
           (out.Create(path, false, 0) && out.Write(bytes.data(), bytes.size()) && out.Close());
}

}  // namespace

bool WriteZip(const std::string& path, const std::vector<ZipEntry>& entries) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr) {
        return false;
    }
    bool ok = true;
    for (const ZipEntry& entry : entries) {
        zip_fileinfo info{};
        info.dosDate = 0x5A8C6000;  // 2025-04-12 12:00:00
        info.external_fa = static_cast<uLong>(entry.unixMode) << 16 | entry.dosAttributes;
        const uLong madeBy = entry.unixMode != 0 ? (3 << 8 | 20) : 0;  // Unix, zip 2.0
        ok = ok &&
             zipOpenNewFileInZip4_64(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0,
                                     nullptr, Writable(entry.method), Z_DEFAULT_COMPRESSION, 0,
                                     -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                     entry.password.empty() ? nullptr : entry.password.c_str(), 0,
                                     madeBy, 0, entry.zip64 ? 1 : 0) == ZIP_OK &&
             zipWriteInFileInZip(zip, entry.content.data(),
                                 static_cast<unsigned>(entry.content.size())) == ZIP_OK &&
             zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok && MarkMethods(path, entries);
}

}  // namespace tavrin::test
