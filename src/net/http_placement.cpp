#include "net/http_placement.h"

#include <cstdio>
#include <filesystem>

#include "net/wait_limit.h"
#include "platform/codepage.h"
#include "platform/file_system.h"
#include "platform/named_mutex.h"
#include "platform/system_paths.h"

namespace tavrin {

std::string TargetMutexPrefix(const std::string& localPath) {
    std::error_code error;
    std::filesystem::path folder = std::filesystem::absolute(localPath, error);
    folder = error ? std::filesystem::path(localPath) : folder;
    // FNV-1a of the folder's path: a mutex name may hold no separators, and a path can be
    // longer than a name may be.
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : platform::FoldedFileName(folder.parent_path().string())) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return std::string("_MUTEX_") + text;
}

bool PutDownloadInPlace(const std::string& tempPath, const std::string& localPath,
                        const std::string& mutexPrefix, std::int64_t lastModified) {
    const std::size_t sep = platform::FindLastMbChar(localPath, platform::PathSeparator());
    const std::string name = sep == std::string::npos ? localPath : localPath.substr(sep + 1);
    platform::NamedMutex mutex(mutexPrefix + "_" + name);
    const bool existed = mutex.AlreadyExisted();
    // Within the download's deadline and stop: a holder that never lets go must not hold
    // this process for ever.
    const bool locked = WaitInSlices(-1, [&mutex](int sliceMs) {
                            return mutex.TryLock(sliceMs < 0 ? 1000 : sliceMs) ? 1 : 0;
                        }) > 0;
    if (!locked) {
        return false;
    }
    bool placed = true;
    if (existed && platform::IsExistingFile(localPath)) {
        // Another process has just put the same file in place; ours is not needed.
        std::remove(tempPath.c_str());
    } else if (platform::IsExistingFile(tempPath) &&
               platform::PutFileInPlace(tempPath, localPath)) {
        platform::SetModificationTime(localPath, lastModified);
    } else {
        placed = false;
    }
    mutex.Unlock();
    return placed;
}

}  // namespace tavrin
