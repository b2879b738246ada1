#include <windows.h>

#include "platform/file_output.h"

namespace tavrin::platform {

namespace {

HANDLE Native(std::intptr_t file) {
    return reinterpret_cast<HANDLE>(file);
}

FILETIME FileTimeOf(std::int64_t secondsSince1970) {
    // FILETIME counts 100 ns steps from 1601.
    const std::int64_t ticks = (secondsSince1970 + 11644473600LL) * 10000000LL;
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

}  // namespace

OutputFile::~OutputFile() {
    Close();
}

bool OutputFile::Create(const std::string& path, bool readOnly, std::uint32_t /*unixMode*/) {
    Close();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    m_file = reinterpret_cast<std::intptr_t>(file);
    return true;
}

bool OutputFile::Write(const char* data, std::size_t size) {
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        if (!WriteFile(Native(m_file), data, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool OutputFile::Flush() {
    return m_file != -1 && FlushFileBuffers(Native(m_file)) != FALSE;
}

bool OutputFile::Close() {
    if (m_file == -1) {
        return true;
    }
    const bool ok = CloseHandle(Native(m_file)) != FALSE;
    m_file = -1;
    return ok;
}

bool SetFileTimes(const std::string& path, std::int64_t accessed, std::int64_t modified) {
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const FILETIME access = FileTimeOf(accessed);
    const FILETIME write = FileTimeOf(modified);
    const BOOL ok = SetFileTime(file, nullptr, &access, &write);
    CloseHandle(file);
    return ok != FALSE;
}

}  // namespace tavrin::platform
