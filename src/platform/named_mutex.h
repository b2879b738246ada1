// A system-wide mutex known by name, shared between copies of the launcher.
//
// Windows: CreateMutexA (owned by the thread that made it), WaitForSingleObject, ReleaseMutex.
// POSIX: flock() on a lock file named after the mutex in the user's runtime folder
// ($XDG_RUNTIME_DIR, else a private folder under /tmp). The system drops the lock when a
// process dies, so a crashed copy never blocks the others.
//
// On both, the first opener holds the lock from the moment it opens the mutex, and "already
// existed" means that another holder had it. One difference is inherent: a Windows mutex
// belongs to the thread that made it and is given up when that thread ends, while the name
// lives on with any handle (an updater's inherited one); a lock file is held by the process.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin::platform {

class NamedMutex {
public:
    explicit NamedMutex(const std::string& name);
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // False when the system could not make the mutex at all.
    bool IsValid() const;
    // True when another process had the mutex when this one was opened.
    bool AlreadyExisted() const { return m_bAlreadyExisted; }
    // Waits without time-out until this process owns the mutex.
    bool Lock();
    // Waits at most `timeoutMs` (0: not at all) for it; false when it is still held elsewhere.
    bool TryLock(int timeoutMs);
    void Unlock();

    // The system's object behind the mutex (the lock file's descriptor, the mutex handle), for
    // handing it on to a program this process starts (StartDetached).
    std::intptr_t Native() const;

private:
    bool m_bAlreadyExisted = false;
    bool m_bOwned = false;
    void* m_handle = nullptr;  // Windows: the mutex handle
    int m_fd = -1;             // POSIX: the lock file
};

}  // namespace tavrin::platform
