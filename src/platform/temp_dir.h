// A new folder for one process's temporary work, that nobody else made or can write to.
#pragma once

#include <string>

namespace tavrin::platform {

// Makes a new, empty folder named `prefix` and a unique ending in the system's temporary
// folder (POSIX: $TMPDIR when it is absolute, else /tmp; Windows: GetTempPath), readable and
// writable only by this user on POSIX. It is never one that existed before, so nobody can
// have prepared it. Its path with the separator; empty when none could be made.
std::string MakePrivateTempDir(const std::string& prefix);

}  // namespace tavrin::platform
