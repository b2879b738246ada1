#include "support/zip_writer.h"

#include <minizip/zip.h>

namespace tavrin::test {

static_assert(kZipStored == 0 && kZipDeflated == Z_DEFLATED);

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
                                     nullptr, entry.method, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS,
                                     DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                     entry.password.empty() ? nullptr : entry.password.c_str(), 0,
                                     madeBy, 0, entry.zip64 ? 1 : 0) == ZIP_OK &&
             zipWriteInFileInZip(zip, entry.content.data(),
                                 static_cast<unsigned>(entry.content.size())) == ZIP_OK &&
             zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

}  // namespace tavrin::test
