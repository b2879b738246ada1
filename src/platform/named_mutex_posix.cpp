#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/named_mutex.h"

namespace tavrin::platform {

namespace {

// A folder only this user can write, so that nobody else can plant or hold our locks.
std::string LockFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        const std::string folder = std::string(runtime) + "/tavrin-locks";
        mkdir(folder.c_str(), 0700);
        return folder;
    }
    const std::string folder = "/tmp/tavrin-locks-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    struct stat st;
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) {
        return {};
    }
    return folder;
}

std::string LockFileName(const std::string& name) {
    std::string safe = name;
    for (char& c : safe) {
        if (c == '/' || c == '\0') {
            c = '_';
        }
    }
    return safe + ".lock";
}

}  // namespace

NamedMutex::NamedMutex(const std::string& name) {
    const std::string folder = LockFolder();
    if (folder.empty()) {
        return;
    }
    const std::string path = folder + "/" + LockFileName(name);
    m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
        return;
    }
    if (flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
        m_bOwned = true;
    } else {
        m_bAlreadyExisted = (errno == EWOULDBLOCK);
    }
}

NamedMutex::~NamedMutex() {
    if (m_fd >= 0) {
        close(m_fd);  // drops the lock
    }
}

std::intptr_t NamedMutex::Native() const {
    return m_fd;
}

bool NamedMutex::IsValid() const {
    return m_fd >= 0;
}

bool NamedMutex::Lock() {
    if (m_fd < 0) {
        return false;
    }
    while (!m_bOwned) {
        if (flock(m_fd, LOCK_EX) == 0) {
            m_bOwned = true;
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool NamedMutex::TryLock(int timeoutMs) {
    if (m_fd < 0) {
        return false;
    }
    // flock has no time-out: tried every few milliseconds until the time is up.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!m_bOwned) {
        if (flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
            m_bOwned = true;
        } else if (errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        } else if (std::chrono::steady_clock::now() >= end) {
            return false;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    return true;
}

void NamedMutex::Unlock() {
    if (m_fd >= 0 && m_bOwned) {
        flock(m_fd, LOCK_UN);
        m_bOwned = false;
    }
}

}  // namespace tavrin::platform
