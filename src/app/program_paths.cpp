#include "app/program_paths.h"

#include "app/app_globals.h"
#include "platform/codepage.h"
#include "platform/file_system.h"
#include "platform/system_paths.h"

namespace tavrin {

namespace {

std::string WithSeparator(std::string folder) {
    if (!platform::EndsWithSeparator(folder)) {
        folder += platform::PathSeparator();
    }
    return folder;
}

}  // namespace

std::string FileNameOf(const std::string& path) {
    const std::size_t sep = platform::FindLastMbChar(path, platform::PathSeparator());
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string FolderOf(const std::string& path) {
    const std::size_t sep = platform::FindLastMbChar(path, platform::PathSeparator());
    return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

std::string ComputeBaseName(const std::string& modulePath) {
    std::string name = FileNameOf(modulePath);
    const std::size_t dot = platform::FindLastMbChar(name, '.');
    if (dot != std::string::npos) {
        name.resize(dot);
    }
    return name;
}

std::string GetModulePath() {
    return platform::ModuleFileName();
}

std::string GetModuleDir() {
    return FolderOf(GetModulePath());
}

bool IsUsableBaseName(const std::string& baseName) {
    return baseName.find_first_not_of(". ") != std::string::npos;
}

std::string DataDirFor(const std::string& localAppData, const std::string& baseName) {
    if (localAppData.empty() || !IsUsableBaseName(baseName)) {
        return {};
    }
    return WithSeparator(WithSeparator(localAppData) + baseName);
}

std::string GetDataDir() {
    return DataDirFor(platform::LocalAppDataFolder(), g_strBaseName);
}

}  // namespace tavrin
