// Reading a file at any offset without moving a shared position: the archive reader seeks
// far more often than it reads, and a seek here costs no system call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavrin::platform {

class RandomAccessFile {
public:
    RandomAccessFile() = default;
    ~RandomAccessFile();
    RandomAccessFile(const RandomAccessFile&) = delete;
    RandomAccessFile& operator=(const RandomAccessFile&) = delete;

    bool Open(const std::string& path);
    void Close();
    std::uint64_t Size() const { return m_size; }
    // Bytes read at the offset (fewer at the end of the file), or -1.
    long long ReadAt(std::uint64_t offset, void* buffer, std::size_t size);

private:
    std::intptr_t m_file = -1;
    std::uint64_t m_size = 0;
};

}  // namespace tavrin::platform
