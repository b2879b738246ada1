#include <dirent.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/process.h"

extern char** environ;

namespace tavrin::platform {

bool ErrorOutputIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

std::uint32_t CurrentProcessId() {
    return static_cast<std::uint32_t>(getpid());
}

bool StartDetached(const std::string& program, const std::string& argument) {
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) {
        return false;
    }
    // A session of its own: the updater outlives the launcher and its terminal.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    std::string program0 = program;
    std::string argument1 = argument;
    char* argv[] = {program0.data(), argument1.data(), nullptr};
    pid_t child = 0;
    const int rc = posix_spawn(&child, program.c_str(), nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    return rc == 0;
}

std::vector<std::string> ListPrograms(const std::string& folder) {
    std::vector<std::string> programs;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return programs;
    }
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + '/';
    while (const dirent* entry = readdir(dir)) {
        struct stat st;
        const std::string path = prefix + entry->d_name;
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0111) != 0) {
            programs.emplace_back(entry->d_name);
        }
    }
    closedir(dir);
    return programs;
}

}  // namespace tavrin::platform
