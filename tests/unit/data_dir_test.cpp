#include "app/data_dir.h"

#include <gtest/gtest.h>

#include "app/file_utils.h"
#include "platform/file_system.h"
#include "platform/system_paths.h"
#include "support/temp_dir.h"

namespace tavrin {
namespace {

using test::TempDir;

std::string Exe(const std::string& name) {
    return name + platform::ExecutableSuffix();
}

TEST(PruneDataDir, RemovesTheWholeDirectoryWhenNoLauncherIsStaged) {
    TempDir tmp;
    tmp.Write("Tavrin/update.ini", "[update]\n");
    tmp.Write("Tavrin/downZip/Game", "zip");
    tmp.Write("Tavrin/Game/" + Exe("Other"), "not ours");
    PruneDataDir(tmp / "Tavrin/", "Tavrin");
    EXPECT_FALSE(platform::PathExists(tmp / "Tavrin"));
}

TEST(PruneDataDir, KeepsEverythingWhenTheLauncherIsStaged) {
    TempDir tmp;
    tmp.Write("Tavrin/update.ini", "[update]\n");
    tmp.Write("Tavrin/Game/" + Exe("Tavrin"), "new launcher");
    PruneDataDir(tmp / "Tavrin/", "Tavrin");
    EXPECT_TRUE(IsExistingFile(tmp / "Tavrin/update.ini"));
    EXPECT_TRUE(IsExistingFile(tmp / ("Tavrin/Game/" + Exe("Tavrin"))));
}

TEST(PruneDataDir, NeverRunsWithoutABaseName) {
    // With an empty base name the data directory is the user's whole application data
    // folder: pruning it would delete every other program's data.
    TempDir tmp;
    tmp.Write("OtherProgram/settings.ini", "precious");
    PruneDataDir(tmp.Path(), "");
    PruneDataDir("", "Tavrin");
    EXPECT_TRUE(IsExistingFile(tmp / "OtherProgram/settings.ini"));
}

TEST(StagedLauncherPath, IsGameFolderPlusBaseNameAsProgram) {
    EXPECT_EQ(StagedLauncherPath("D" + std::string(1, platform::PathSeparator()), "Launcher"),
              "D" + std::string(1, platform::PathSeparator()) + "Game" + platform::PathSeparator() +
                  Exe("Launcher"));
}

}  // namespace
}  // namespace tavrin
