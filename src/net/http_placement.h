// Where a finished download goes: the body replaces the target under a system-wide lock, so
// that two processes fetching the same file never leave half of one in place.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

// A completion mutex prefix of the target's own folder, for callers that have no data
// directory to name it by (the tool): targets of one file name in different folders never
// share a mutex, so finishing one never passes for finishing the other.
std::string TargetMutexPrefix(const std::string& localPath);

// Puts the complete body at `tempPath` in place of `localPath`, stamped `lastModified`, under
// the mutex mutexPrefix + "_" + the target's file name. When another process has just put the
// same file there, ours is dropped. The mutex is waited for within the thread's wait limit
// (the download's deadline and stop). False when the target cannot be replaced (a folder or a
// locked file is there) or the mutex stayed held: the old target stays as it was.
bool PutDownloadInPlace(const std::string& tempPath, const std::string& localPath,
                        const std::string& mutexPrefix, std::int64_t lastModified);

}  // namespace tavrin
