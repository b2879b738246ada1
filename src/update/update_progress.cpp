#include "update/update_progress.h"

namespace tavrin {

UpdateProgressSnapshot UpdateProgress::Read() const {
    UpdateProgressSnapshot snapshot;
    snapshot.stage = static_cast<UpdateStage>(m_stage.load());
    snapshot.offeredVersion = m_offeredVersion;
    snapshot.received = m_received;
    snapshot.total = m_total;
    return snapshot;
}

void UpdateProgress::Enter(UpdateStage stage, int offeredVersion) {
    m_received = 0;
    m_total = 0;
    m_offeredVersion = offeredVersion;
    m_stage = static_cast<int>(stage);
}

void UpdateProgress::Count(std::int64_t received, std::int64_t total) {
    m_total = total;
    m_received = received;
}

}  // namespace tavrin
