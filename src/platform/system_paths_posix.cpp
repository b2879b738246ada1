#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/system_paths.h"

namespace tavrin::platform {

char PathSeparator() {
    return '/';
}

const char* ExecutableSuffix() {
    return "";
}

std::string ModuleFileName() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) {
            return {};
        }
        if (static_cast<std::size_t>(n) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(n));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string LocalAppDataFolder() {
    // The XDG base directory rules: a relative $XDG_DATA_HOME is invalid and ignored.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    std::string homeDir = home != nullptr ? home : "";
    if (homeDir.empty()) {
        if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
            homeDir = pw->pw_dir;
        }
    }
    if (homeDir.empty()) {
        return {};
    }
    if (homeDir.back() != '/') {
        homeDir += '/';
    }
    return homeDir + ".local/share";
}

}  // namespace tavrin::platform
