#include <windows.h>

#include <shlwapi.h>

#include <algorithm>
#include <utility>

#include "platform/file_system.h"

namespace tavrin::platform {

bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& bytes) {
    // The reparse point itself, not what it leads to; a folder does not open without
    // FILE_FLAG_BACKUP_SEMANTICS.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const std::uint64_t size =
        GetFileInformationByHandle(file, &info)
            ? (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow
            : ~std::uint64_t{0};
    bool ok =
        GetFileType(file) == FILE_TYPE_DISK && size <= maxBytes &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
    std::string read;
    if (ok) {
        read.resize(static_cast<std::size_t>(size));
        std::size_t done = 0;
        while (ok && done < read.size()) {
            const DWORD wanted =
                static_cast<DWORD>(std::min<std::size_t>(read.size() - done, 1u << 30));
            DWORD got = 0;
            ok = ReadFile(file, read.data() + done, wanted, &got, nullptr) && got > 0;
            done += got;
        }
    }
    CloseHandle(file);
    if (ok) {
        bytes = std::move(read);
    }
    return ok;
}

bool PathExists(const std::string& path) {
    return PathFileExistsA(path.c_str()) != FALSE;
}

bool IsDirectory(const std::string& path) {
    return PathIsDirectoryA(path.c_str()) != FALSE;
}

bool IsLink(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool MakeDirectory(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

bool RemoveDirectoryEntry(const std::string& path) {
    // RemoveDirectoryA takes a junction or folder link away without touching its target.
    return RemoveDirectoryA(path.c_str()) != FALSE;
}

void AllowRemovingEntries(const std::string& folder) {
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesA(folder.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
}

bool DeleteFileForced(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileA(path.c_str())) {
        return true;
    }
    // A junction or folder link is listed as a non-folder so that its target is never
    // walked; it goes away with RemoveDirectoryA.
    return RemoveDirectoryA(path.c_str()) != FALSE;
}

bool PutFileInPlace(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool SetModificationTime(const std::string& path, std::int64_t secondsSince1970) {
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    // FILETIME counts 100 ns steps from 1601.
    const std::int64_t ticks = (secondsSince1970 + 11644473600LL) * 10000000LL;
    FILETIME written;
    written.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
    written.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    const BOOL ok = SetFileTime(file, nullptr, nullptr, &written);
    CloseHandle(file);
    return ok != FALSE;
}

bool FileSizeAndTime(const std::string& path, std::uint64_t& size, std::int64_t& modified) {
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info)) {
        return false;
    }
    size = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    const std::int64_t ticks = (std::int64_t(info.ftLastWriteTime.dwHighDateTime) << 32) |
                               info.ftLastWriteTime.dwLowDateTime;
    modified = ticks / 10000000LL - 11644473600LL;
    return true;
}

std::vector<DirEntry> ListDirectory(const std::string& folder) {
    std::vector<DirEntry> entries;
    // By characters: a name may end in a double-byte character whose trail byte is '\\'.
    const bool hasSeparator =
        EndsWithSeparator(folder) || (!folder.empty() && folder.back() == '/');
    const std::string pattern = folder + (hasSeparator ? "*.*" : "\\*.*");
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return entries;
    }
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") {
            continue;
        }
        const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                              (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        entries.push_back({name, isFolder});
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return entries;
}

bool FileNamesIgnoreCase() {
    return true;
}

std::string FoldedFileName(const std::string& name) {
    std::string folded = name;
    folded.erase(folded.find_last_not_of(". ") + 1);
    // In the active code page, as the names are: a double-byte character's trail byte is
    // never taken for a letter.
    if (!folded.empty()) {
        CharLowerBuffA(folded.data(), static_cast<DWORD>(folded.size()));
    }
    return folded;
}

}  // namespace tavrin::platform
