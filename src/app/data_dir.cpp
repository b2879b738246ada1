#include "app/data_dir.h"

#include "app/app_globals.h"
#include "app/file_utils.h"
#include "platform/file_system.h"
#include "platform/system_paths.h"

namespace tavrin {

std::string PrepareDataDir() {
    g_strDataDir = GetDataDir();
    CreateDirTree(g_strDataDir);
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
    DeleteDirContents(dataDir);
    platform::RemoveDirectoryEntry(dataDir);
}

}  // namespace tavrin
