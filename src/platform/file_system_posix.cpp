#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/file_system.h"

namespace tavrin::platform {

bool PathExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& bytes) {
    // Not blocking: a pipe opened for reading would wait for a writer.
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              static_cast<std::uint64_t>(st.st_size) <= maxBytes;
    std::string read;
    if (ok) {
        read.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (ok && done < read.size()) {
            const ssize_t n = ::read(fd, read.data() + done, read.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            ok = n > 0;  // a file that shrank meanwhile is not the one we looked at
            done += ok ? static_cast<std::size_t>(n) : 0;
        }
    }
    close(fd);
    if (ok) {
        bytes = std::move(read);
    }
    return ok;
}

bool IsLink(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool MakeDirectory(const std::string& path) {
    return mkdir(path.c_str(), 0777) == 0;
}

bool RemoveDirectoryEntry(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        return unlink(path.c_str()) == 0;
    }
    return rmdir(path.c_str()) == 0;
}

void AllowRemovingEntries(const std::string& folder) {
    struct stat st;
    if (lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid()) {
        chmod(folder.c_str(), (st.st_mode & 07777) | S_IRWXU);
    }
}

bool DeleteFileForced(const std::string& path) {
    // POSIX has no read-only attribute on the file itself: unlinking needs only the right
    // to write the folder, which the folder walk has.
    return unlink(path.c_str()) == 0;
}

bool PutFileInPlace(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool SetModificationTime(const std::string& path, std::int64_t secondsSince1970) {
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // the access time stays
    times[1].tv_sec = static_cast<time_t>(secondsSince1970);
    times[1].tv_nsec = 0;
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool FileSizeAndTime(const std::string& path, std::uint64_t& size, std::int64_t& modified) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return false;
    }
    size = static_cast<std::uint64_t>(info.st_size);
    modified = static_cast<std::int64_t>(info.st_mtime);
    return true;
}

std::vector<DirEntry> ListDirectory(const std::string& folder) {
    std::vector<DirEntry> entries;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return entries;
    }
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + '/';
    while (const dirent* ent = readdir(dir)) {
        if (std::strcmp(ent->d_name, ".") == 0 || std::strcmp(ent->d_name, "..") == 0) {
            continue;
        }
        struct stat st;
        const bool isFolder =
            lstat((prefix + ent->d_name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        entries.push_back({ent->d_name, isFolder});
    }
    closedir(dir);
    return entries;
}

bool FileNamesIgnoreCase() {
    return false;
}

std::string FoldedFileName(const std::string& name) {
    return name;
}

}  // namespace tavrin::platform
