#include <fstream>
#include <sstream>
#include <string>

#include "platform/memory_status.h"

namespace tavrin::platform {

bool ReadMemoryStatus(MemoryStatus& status) {
    status = {};
    // MemAvailable is what programs can still get without swapping, the same notion as the
    // available physical memory Windows reports.
    std::ifstream meminfo("/proc/meminfo");
    std::string line;
    bool total = false;
    bool available = false;
    while (std::getline(meminfo, line)) {
        std::istringstream fields(line);
        std::string key;
        std::uint64_t kib = 0;
        fields >> key >> kib;
        if (key == "MemTotal:") {
            status.totalBytes = kib * 1024;
            total = true;
        } else if (key == "MemAvailable:") {
            status.availableBytes = kib * 1024;
            available = true;
        }
    }
    return total && available;
}

}  // namespace tavrin::platform
