// How long the socket waits of a thread may still take. While a download runs, every wait of
// its thread keeps to the download's deadline and ends soon after its owner's stop, however
// the bytes trickle in: a wait's own time-out starts again with each byte that arrives, the
// deadline does not.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

namespace tavrin {

class WaitLimit {
public:
    using Clock = std::chrono::steady_clock;
    // From now on this thread's waits end by `deadline` (none when it has no value), and
    // within kStopCheckMs once `stopped` says so (none when empty). The previous limit comes
    // back when this one goes.
    WaitLimit(std::optional<Clock::time_point> deadline, std::function<bool()> stopped);
    ~WaitLimit();
    WaitLimit(const WaitLimit&) = delete;
    WaitLimit& operator=(const WaitLimit&) = delete;

    // True when the calling thread's limit is reached: its deadline passed, or a stop.
    static bool Reached();

    static constexpr int kStopCheckMs = 50;

private:
    friend int WaitInSlices(int, const std::function<int(int)>&);
    std::optional<Clock::time_point> m_deadline;
    std::function<bool()> m_stopped;
    const WaitLimit* m_previous;
};

// Waits with `wait(sliceMs)` (1 ready, 0 nothing within the slice, -1 a failure) in slices,
// until it is ready or fails, `timeoutMs` (negative: none) has passed, or the thread's limit
// is reached: 1, -1, or 0 for the time-out and the limit.
int WaitInSlices(int timeoutMs, const std::function<int(int sliceMs)>& wait);

}  // namespace tavrin
