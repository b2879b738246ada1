#include <windows.h>

#include "platform/file_reader.h"

namespace tavrin::platform {

RandomAccessFile::~RandomAccessFile() {
    Close();
}

bool RandomAccessFile::Open(const std::string& path) {
    Close();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER size;
    if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size)) {
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
        return false;
    }
    m_file = reinterpret_cast<std::intptr_t>(file);
    m_size = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

void RandomAccessFile::Close() {
    if (m_file != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(m_file));
        m_file = -1;
    }
}

long long RandomAccessFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD wanted = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!ReadFile(reinterpret_cast<HANDLE>(m_file), buffer, wanted, &got, &at)) {
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    }
    return got;
}

}  // namespace tavrin::platform
