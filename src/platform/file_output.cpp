#include "platform/file_output.h"

#include "platform/file_system.h"
#include "platform/system_paths.h"

namespace tavrin::platform {

bool PathCrossesLink(const std::string& root, const std::string& relative) {
    std::string path = root;
    std::size_t start = 0;
    while (start < relative.size()) {
        std::size_t end = relative.find_first_of("/\\", start);
        if (end == std::string::npos) {
            end = relative.size();
        }
        if (end > start) {
            if (!path.empty() && path.back() != PathSeparator()) {
                path += PathSeparator();
            }
            path += relative.substr(start, end - start);
            if (IsLink(path)) {
                return true;
            }
        }
        start = end + 1;
    }
    return false;
}

}  // namespace tavrin::platform
