#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_reader.h"

namespace tavrin::platform {

RandomAccessFile::~RandomAccessFile() {
    Close();
}

bool RandomAccessFile::Open(const std::string& path) {
    Close();
    m_file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (m_file < 0 || fstat(static_cast<int>(m_file), &st) != 0 || !S_ISREG(st.st_mode)) {
        Close();
        return false;
    }
    m_size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

void RandomAccessFile::Close() {
    if (m_file >= 0) {
        close(static_cast<int>(m_file));
        m_file = -1;
    }
}

long long RandomAccessFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = pread(static_cast<int>(m_file), buffer, size, static_cast<off_t>(offset));
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

}  // namespace tavrin::platform
