#include "app/data_dir.h"

#include "app/app_globals.h"
#include "app/program_paths.h"
#include "platform/file_system.h"
#include "platform/system_paths.h"

namespace tavrin {

std::string PrepareDataDir() {
    g_strDataDir = GetDataDir();
    platform::CreateDirTree(g_strDataDir);
    return g_strDataDir;
}

std::string StagedLauncherPath(const std::string& dataDir, const std::string& baseName) {
    return dataDir + "Game" + platform::PathSeparator() + baseName + platform::ExecutableSuffix();
}

void PruneDataDir(const std::string& dataDir, const std::string& baseName) {
    if (baseName.empty() || dataDir.empty()) {
        return;
    }
    if (platform::PathExists(StagedLauncherPath(dataDir, baseName))) {
        return;
    }
    platform::DeleteDirContents(dataDir);
    platform::RemoveDirectoryEntry(dataDir);
}

std::string BrowserProfileDirFor(const std::string& stateFolder, const std::string& baseName) {
    if (stateFolder.empty() || baseName.empty() || baseName == "." || baseName == "..") {
        return {};
    }
    return DataDirFor(stateFolder, baseName + ".browser");
}

std::string BrowserProfileDir() {
    return BrowserProfileDirFor(platform::UserStateFolder(), g_strBaseName);
}

}  // namespace tavrin
