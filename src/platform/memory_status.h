// The machine's physical memory, as the game asks for it.
#pragma once

#include <cstdint>

namespace tavrin::platform {

struct MemoryStatus {
    std::uint64_t totalBytes = 0;
    std::uint64_t availableBytes = 0;
};

// False when the system would not tell; the status is then all zero.
bool ReadMemoryStatus(MemoryStatus& status);

}  // namespace tavrin::platform
