// A version whose installation failed, kept beside the launcher's log ("<base name>.update-
// failed"), so that the launcher does not hand over to it again at every start: the player
// plays with the version that runs, and the version is tried again after a day or when a newer
// one is offered.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

struct FailedUpdate {
    int version = 0;
    std::int64_t when = 0;  // seconds since 1970, UTC
    std::string reason;
};

inline constexpr std::int64_t kRetryFailedUpdateAfterSeconds = 24 * 60 * 60;

// "<state folder>/<base name>.update-failed", or "" without a usable folder or name.
std::string FailedUpdateFileFor(const std::string& stateFolder, const std::string& baseName);

// False when there is no record (or none that can be read).
bool ReadFailedUpdate(const std::string& file, FailedUpdate& record);
bool WriteFailedUpdate(const std::string& file, const FailedUpdate& record);

// The offered version is the one that failed, less than a day ago: leave it alone.
bool SkipsFailedUpdate(const FailedUpdate& record, int offeredVersion, std::int64_t now);

// "YYYY-MM-DD HH:MM:SSZ" for the log.
std::string FailedUpdateTime(std::int64_t when);

}  // namespace tavrin
