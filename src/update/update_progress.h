// What the update check is doing, read by a window on another thread, and the player's
// wish to go on without the update. Every member may be used from any thread.
#pragma once

#include <atomic>
#include <cstdint>

namespace tavrin {

enum class UpdateStage : int {
    kChecking,             // fetching the description (and its signature)
    kDownloadingUpdater,   // the updater's package
    kDownloadingLauncher,  // the new launcher's package
    kUnpacking,
};

struct UpdateProgressSnapshot {
    UpdateStage stage = UpdateStage::kChecking;
    int offeredVersion = 0;
    std::int64_t received = 0;  // bytes of the current package
    std::int64_t total = 0;     // its size, 0 while unknown
};

class UpdateProgress {
public:
    UpdateProgressSnapshot Read() const;
    // The player's cancel: the check stops at its next step, the download it is in at once.
    void Cancel() { m_cancelled = true; }
    bool Cancelled() const { return m_cancelled; }
    const std::atomic<bool>& CancelFlag() const { return m_cancelled; }

    // The check's side.
    void Enter(UpdateStage stage, int offeredVersion);
    void Count(std::int64_t received, std::int64_t total);

private:
    std::atomic<int> m_stage{static_cast<int>(UpdateStage::kChecking)};
    std::atomic<int> m_offeredVersion{0};
    std::atomic<std::int64_t> m_received{0};
    std::atomic<std::int64_t> m_total{0};
    std::atomic<bool> m_cancelled{false};
};

}  // namespace tavrin
