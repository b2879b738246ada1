#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_output.h"

namespace tavrin::platform {

OutputFile::~OutputFile() {
    Close();
}

bool OutputFile::Create(const std::string& path, bool readOnly, std::uint32_t unixMode) {
    Close();
    mode_t mode = unixMode != 0 ? static_cast<mode_t>(unixMode & 0777) : 0644;
    if (readOnly) {
        mode &= static_cast<mode_t>(~0222);
    }
    m_file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode);
    if (m_file >= 0 && (mode & 0133) != 0) {
        // The umask may have taken bits the package asked for (an executable's x bits).
        fchmod(static_cast<int>(m_file), mode);
    }
    return m_file >= 0;
}

bool OutputFile::Write(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(static_cast<int>(m_file), data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool OutputFile::Flush() {
    return m_file >= 0 && fsync(static_cast<int>(m_file)) == 0;
}

bool OutputFile::Close() {
    if (m_file < 0) {
        return true;
    }
    const bool ok = close(static_cast<int>(m_file)) == 0;
    m_file = -1;
    return ok;
}

bool SetFileTimes(const std::string& path, std::int64_t accessed, std::int64_t modified) {
    timespec times[2] = {};
    times[0].tv_sec = static_cast<time_t>(accessed);
    times[1].tv_sec = static_cast<time_t>(modified);
    return utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace tavrin::platform
