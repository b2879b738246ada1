#include "app/file_utils.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "app/app_globals.h"
#include "platform/codepage.h"
#include "platform/file_system.h"
#include "platform/system_paths.h"

namespace tavrin {

namespace {

std::string WithSeparator(std::string folder) {
    if (!EndsWithSeparator(folder)) {
        folder += platform::PathSeparator();
    }
    return folder;
}

}  // namespace

std::string ComputeBaseName(const std::string& modulePath) {
    const std::size_t sep = FindLastMbChar(modulePath, platform::PathSeparator());
    std::string name = sep == std::string::npos ? modulePath : modulePath.substr(sep + 1);
    const std::size_t dot = FindLastMbChar(name, '.');
    if (dot != std::string::npos) {
        name.resize(dot);
    }
    return name;
}

bool EndsWithSeparator(const std::string& path) {
    return !path.empty() && FindLastMbChar(path, platform::PathSeparator()) == path.size() - 1;
}

std::string GetModulePath() {
    return platform::ModuleFileName();
}

std::string GetModuleDir() {
    const std::string path = GetModulePath();
    const std::size_t sep = FindLastMbChar(path, platform::PathSeparator());
    return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

std::string DataDirFor(const std::string& localAppData, const std::string& baseName) {
    return WithSeparator(WithSeparator(localAppData) + baseName);
}

std::string GetDataDir() {
    return DataDirFor(platform::LocalAppDataFolder(), g_strBaseName);
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

bool IsExistingFile(const std::string& path) {
    return platform::PathExists(path) && !platform::IsDirectory(path);
}

bool CreateDirTree(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    std::string full = path;
    std::replace(full.begin(), full.end(), '/', platform::PathSeparator());
    full = WithSeparator(full);
    // Every level from the top down; existing levels and drive prefixes simply fail.
    for (std::size_t i = 0; i < full.size(); i += platform::CharLength(full, i)) {
        if (full[i] == platform::PathSeparator() && i > 0) {
            platform::MakeDirectory(full.substr(0, i));
        }
    }
    return true;
}

void DeleteDirContents(const std::string& folder) {
    if (folder.empty()) {
        return;
    }
    const std::string prefix = WithSeparator(folder);
    platform::AllowRemovingEntries(folder);
    for (const platform::DirEntry& entry : platform::ListDirectory(folder)) {
        const std::string path = prefix + entry.name;
        if (entry.isFolder) {
            DeleteDirContents(path);
            platform::RemoveDirectoryEntry(path);
        } else {
            platform::DeleteFileForced(path);
        }
    }
}

}  // namespace tavrin
