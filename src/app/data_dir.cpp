#include "app/data_dir.h"

#include <cstdio>

#include "app/app_globals.h"
#include "app/diagnostics.h"
#include "app/program_paths.h"
#include "platform/file_system.h"
#include "platform/named_mutex.h"
#include "platform/system_paths.h"

namespace tavrin {

std::string PrepareDataDir() {
    const std::string dataDir = GetDataDir();
    if (dataDir.empty()) {
        const char* why = IsUsableBaseName(g_strBaseName)
                              ? "the local application data folder cannot be found"
                              : "the program's file name gives no usable base name";
        Diagnose("tavrin: no data directory (%s: \"%s\"); no pruning, no update", why,
                 g_strBaseName.c_str());
        return {};
    }
    platform::CreateDirTree(dataDir);
    return dataDir;
}

std::string UpdateMutexName(const std::string& baseName) {
    return baseName + "_Update";
}

std::string UpdatingMutexName(const std::string& baseName) {
    return baseName + "_Updating";
}

std::string StagedLauncherPath(const std::string& dataDir, const std::string& baseName) {
    return dataDir + "Game" + platform::PathSeparator() + baseName + platform::ExecutableSuffix();
}

void PruneDataDir(const std::string& dataDir, const std::string& baseName) {
    if (!IsUsableBaseName(baseName) || dataDir.empty()) {
        return;
    }
    if (platform::PathExists(StagedLauncherPath(dataDir, baseName))) {
        return;
    }
    // Held for the whole pruning, so that no other copy's check starts in the folder while
    // it is being emptied; one that holds it already finishes its own work undisturbed.
    platform::NamedMutex updateMutex(UpdateMutexName(baseName));
    if (!updateMutex.IsValid() || updateMutex.AlreadyExisted()) {
        return;
    }
    platform::DeleteDirContents(dataDir);
    platform::RemoveDirectoryEntry(dataDir);
}

std::string BrowserProfileDirFor(const std::string& stateFolder, const std::string& baseName) {
    if (stateFolder.empty() || !IsUsableBaseName(baseName)) {
        return {};
    }
    return DataDirFor(stateFolder, baseName + ".browser");
}

std::string BrowserProfileDir() {
    return BrowserProfileDirFor(platform::UserStateFolder(), g_strBaseName);
}

}  // namespace tavrin
