// What the update window says while start-up waits for the update check: the stage, the
// bytes with speed and time left, and how far its bar is filled. The same words in every
// front end; the window only draws them.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

#include "update/update_progress.h"

namespace tavrin {

// "12.3 MB" style sizes (1 MB = 2^20 bytes, as players' download tools count).
std::string FormatBytes(std::int64_t bytes);

struct UpdateWindowText {
    std::string stage;   // UTF-8
    std::string detail;  // UTF-8; empty outside the downloads
    double barPart = 0;  // 0 to 1
};

class UpdateWindowModel {
public:
    using Clock = std::chrono::steady_clock;

    // A new reading of the check's progress, taken at `at`; what the window shows for it.
    UpdateWindowText Read(const UpdateProgressSnapshot& now, bool cancelled, Clock::time_point at);

private:
    struct Sample {
        Clock::time_point at;
        std::int64_t received;
    };
    // Bytes a second over the last seconds; 0 until there are two samples.
    double Speed() const;

    UpdateProgressSnapshot m_shown;
    std::deque<Sample> m_samples;
};

}  // namespace tavrin
