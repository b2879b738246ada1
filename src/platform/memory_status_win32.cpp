#include <windows.h>

#include "platform/memory_status.h"

namespace tavrin::platform {

bool ReadMemoryStatus(MemoryStatus& status) {
    status = {};
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    if (!GlobalMemoryStatusEx(&memory)) {
        return false;
    }
    status.totalBytes = memory.ullTotalPhys;
    status.availableBytes = memory.ullAvailPhys;
    return true;
}

}  // namespace tavrin::platform
