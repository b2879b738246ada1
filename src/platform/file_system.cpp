#include "platform/file_system.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/codepage.h"
#include "platform/process.h"
#include "platform/system_paths.h"

namespace tavrin::platform {

namespace {

std::string WithSeparator(std::string folder) {
    if (!EndsWithSeparator(folder)) {
        folder += PathSeparator();
    }
    return folder;
}

bool SameLetters(const std::string& text, const char* upper) {
    const std::size_t n = std::strlen(upper);
    if (text.size() != n) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) != upper[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

// Windows opens its devices for these names whatever follows the first dot ("nul.txt") and
// whatever blanks end them, in any folder: such an entry would write to a device, not a file.
bool IsReservedDeviceName(const std::string& part) {
    std::string stem = part.substr(0, part.find('.'));
    stem.erase(stem.find_last_not_of(' ') + 1);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (SameLetters(stem, device)) {
            return true;
        }
    }
    return stem.size() == 4 && stem[3] >= '1' && stem[3] <= '9' &&
           (SameLetters(stem.substr(0, 3), "COM") || SameLetters(stem.substr(0, 3), "LPT"));
}

bool EndsWithSeparator(const std::string& path) {
    return !path.empty() && FindLastMbChar(path, PathSeparator()) == path.size() - 1;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    // A folder opens as a stream on some systems, and reading it then throws.
    if (IsDirectory(path)) {
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

bool SameFileName(const std::string& a, const std::string& b) {
    return FoldedFileName(a) == FoldedFileName(b);
}

bool IsExistingFile(const std::string& path) {
    return PathExists(path) && !IsDirectory(path);
}

bool CreateDirTree(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    std::string full = path;
    std::replace(full.begin(), full.end(), '/', PathSeparator());
    full = WithSeparator(full);
    // Every level from the top down; existing levels and drive prefixes simply fail.
    for (std::size_t i = 0; i < full.size(); i += CharLength(full, i)) {
        if (full[i] == PathSeparator() && i > 0) {
            MakeDirectory(full.substr(0, i));
        }
    }
    return true;
}

void DeleteDirContents(const std::string& folder) {
    if (folder.empty()) {
        return;
    }
    const std::string prefix = WithSeparator(folder);
    AllowRemovingEntries(folder);
    for (const DirEntry& entry : ListDirectory(folder)) {
        const std::string path = prefix + entry.name;
        if (entry.isFolder) {
            DeleteDirContents(path);
            RemoveDirectoryEntry(path);
        } else {
            DeleteFileForced(path);
        }
    }
}

bool CanCreateEntriesIn(const std::string& folder) {
    const std::string probe =
        WithSeparator(folder) + ".write-probe-" + std::to_string(CurrentProcessId());
    if (!MakeDirectory(probe)) {
        return false;
    }
    RemoveDirectoryEntry(probe);
    return true;
}

}  // namespace tavrin::platform
