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

namespace {

// An XDG base folder: the variable when it holds an absolute path (the rules ignore a
// relative one), else the fallback under the home folder; empty without a home folder.
std::string XdgFolder(const char* variable, const char* underHome) {
    const char* xdg = std::getenv(variable);
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
    return homeDir + underHome;
}

}  // namespace

std::string LocalAppDataFolder() {
    return XdgFolder("XDG_DATA_HOME", ".local/share");
}

std::string UserStateFolder() {
    return XdgFolder("XDG_STATE_HOME", ".local/state");
}

}  // namespace tavrin::platform
