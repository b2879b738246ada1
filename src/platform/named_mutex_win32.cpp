#include <windows.h>

#include "platform/file_system.h"
#include "platform/named_mutex.h"

namespace tavrin::platform {

NamedMutex::NamedMutex(const std::string& name) {
    // Kernel object names tell case apart; the programs and folders they are named after do
    // not: "Tavrin" and "tavrin." must share their locks. The first opener owns the mutex, as
    // the first opener of a lock file holds it on POSIX: one that waits for it (an updater
    // started by hand) waits for that holder, not only for the name.
    m_handle = CreateMutexA(nullptr, TRUE, FoldedFileName(name).c_str());
    m_bAlreadyExisted = m_handle != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
    m_bOwned = m_handle != nullptr && !m_bAlreadyExisted;
}

NamedMutex::~NamedMutex() {
    if (m_handle != nullptr) {
        Unlock();
        CloseHandle(m_handle);
    }
}

std::intptr_t NamedMutex::Native() const {
    return reinterpret_cast<std::intptr_t>(m_handle);
}

bool NamedMutex::IsValid() const {
    return m_handle != nullptr;
}

bool NamedMutex::Lock() {
    if (m_handle == nullptr) {
        return false;
    }
    if (m_bOwned) {
        return true;  // a second wait would own it twice, and one Unlock would not free it
    }
    const DWORD wait = WaitForSingleObject(m_handle, INFINITE);
    // An abandoned mutex is owned all the same: its former owner died.
    m_bOwned = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    return m_bOwned;
}

bool NamedMutex::TryLock(int timeoutMs) {
    if (m_handle == nullptr) {
        return false;
    }
    if (!m_bOwned) {
        const DWORD wait = WaitForSingleObject(m_handle, static_cast<DWORD>(timeoutMs));
        m_bOwned = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
    return m_bOwned;
}

void NamedMutex::Unlock() {
    if (m_handle != nullptr && m_bOwned) {
        ReleaseMutex(m_handle);
        m_bOwned = false;
    }
}

}  // namespace tavrin::platform
