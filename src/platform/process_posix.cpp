#include <dirent.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

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
                   const std::vector<std::intptr_t>& handedOn) {
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
    for (const std::intptr_t native : handedOn) {
        const int fd = static_cast<int>(native);
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
    // No argument at all rather than an empty one: a program started plainly sees none.
    char* argv[] = {program0.data(), argument.empty() ? nullptr : argument1.data(), nullptr};
    pid_t child = 0;
    const int rc = posix_spawn(&child, program.c_str(), &files, &attributes, argv, envp.data());
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    return rc == 0;
}

namespace {

// The descriptors named in the variable that really are our lock files, whatever it says.
std::vector<int> HandedOnLockFiles() {
    std::vector<int> files;
    const char* handed = std::getenv(kHandedOnLocksVariable);
    std::stringstream list(handed != nullptr ? handed : "");
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
                files.push_back(static_cast<int>(fd));
            }
        }
    }
    return files;
}

// The program a running process runs, links resolved; empty once it has ended (a zombie
// has no program any more) or when it cannot be seen.
std::string ProgramOf(pid_t pid) {
    char path[64];
    char target[4096];
    std::snprintf(path, sizeof path, "/proc/%ld/exe", static_cast<long>(pid));
    const ssize_t n = readlink(path, target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

std::string SingleArgument(int argc, char** argv) {
    return argc > 1 && argv[1] != nullptr ? argv[1] : "";
}

std::vector<std::intptr_t> HandedOnLocks() {
    std::vector<std::intptr_t> locks;
    for (const int fd : HandedOnLockFiles()) {
        locks.push_back(fd);
    }
    return locks;
}

bool OwnHandedOnLocks(int) {
    return true;  // the inherited descriptions hold the locks already
}

bool ReleaseHandedOnLocks() {
    if (std::getenv(kHandedOnLocksVariable) == nullptr) {
        return false;
    }
    for (const int fd : HandedOnLockFiles()) {
        close(fd);
    }
    unsetenv(kHandedOnLocksVariable);
    return true;
}

bool WaitForParentToEnd(const std::string& programPath, int timeoutMs) {
    // Once the parent has gone this process belongs to another, which runs something else.
    const pid_t parent = getppid();
    char resolved[4096];
    const std::string program =
        realpath(programPath.c_str(), resolved) != nullptr ? resolved : programPath;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (ProgramOf(parent) == program && getppid() == parent) {
        if (std::chrono::steady_clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
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
