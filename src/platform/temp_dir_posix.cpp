#include <cstdlib>
#include <vector>

#include "platform/temp_dir.h"

namespace tavrin::platform {

std::string MakePrivateTempDir(const std::string& prefix) {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string base = tmpdir != nullptr && tmpdir[0] == '/' ? tmpdir : "/tmp";
    if (base.back() != '/') {
        base += '/';
    }
    // mkdtemp makes the folder with mode 0700, and fails rather than reuse one.
    const std::string pattern = base + prefix + "XXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    if (mkdtemp(path.data()) == nullptr) {
        return {};
    }
    return std::string(path.data()) + '/';
}

}  // namespace tavrin::platform
