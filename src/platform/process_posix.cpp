#include <dirent.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/named_mutex.h"
#include "platform/process.h"

extern char** environ;

namespace tavrin::platform {

bool ErrorOutputIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

std::uint32_t CurrentProcessId() {
    return static_cast<std::uint32_t>(getpid());
}

bool StartDetached(const std::string& program, const std::string& argument,
                   const std::vector<const NamedMutex*>& handedOn) {
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) {
        return false;
    }
    posix_spawn_file_actions_t files;
    if (posix_spawn_file_actions_init(&files) != 0) {
        posix_spawnattr_destroy(&attributes);
        return false;
    }
    // A session of its own: the updater outlives the launcher and its terminal.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    // The lock files' descriptors stay open in the program (a dup2 onto itself clears
    // close-on-exec): the locks, which belong to the open files, last as long as it does.
    std::vector<std::string> environment;
    std::string handed;
    for (const NamedMutex* mutex : handedOn) {
        const int fd = static_cast<int>(mutex->Native());
        if (fd >= 0 && posix_spawn_file_actions_adddup2(&files, fd, fd) == 0) {
            handed += (handed.empty() ? "" : ",") + std::to_string(fd);
        }
    }
    const std::string variable = std::string(kHandedOnLocksVariable) + "=";
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, variable.c_str(), variable.size()) != 0) {
            environment.emplace_back(*entry);
        }
    }
    if (!handed.empty()) {
        environment.push_back(variable + handed);
    }
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::string program0 = program;
    std::string argument1 = argument;
    char* argv[] = {program0.data(), argument1.data(), nullptr};
    pid_t child = 0;
    const int rc = posix_spawn(&child, program.c_str(), &files, &attributes, argv, envp.data());
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    return rc == 0;
}

bool ReleaseHandedOnLocks() {
    const char* handed = std::getenv(kHandedOnLocksVariable);
    if (handed == nullptr) {
        return false;
    }
    // Only lock files of ours are closed, whatever the variable says.
    std::stringstream list(handed);
    std::string item;
    while (std::getline(list, item, ',')) {
        char* end = nullptr;
        const long fd = std::strtol(item.c_str(), &end, 10);
        char path[64];
        char target[4096];
        std::snprintf(path, sizeof path, "/proc/self/fd/%ld", fd);
        const ssize_t n =
            end != item.c_str() && fd > 2 ? readlink(path, target, sizeof target - 1) : -1;
        if (n > 0) {
            target[n] = '\0';
            if (std::strstr(target, "tavrin-locks") != nullptr &&
                std::strstr(target, ".lock") != nullptr) {
                close(static_cast<int>(fd));
            }
        }
    }
    unsetenv(kHandedOnLocksVariable);
    return true;
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
