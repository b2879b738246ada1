#include "app/data_dir.h"

#include <gtest/gtest.h>

#include "app/program_paths.h"
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
    EXPECT_TRUE(platform::IsExistingFile(tmp / "Tavrin/update.ini"));
    EXPECT_TRUE(platform::IsExistingFile(tmp / ("Tavrin/Game/" + Exe("Tavrin"))));
}

TEST(PruneDataDir, NeverRunsWithoutABaseName) {
    // With an empty base name the data directory is the user's whole application data
    // folder: pruning it would delete every other program's data.
    TempDir tmp;
    tmp.Write("OtherProgram/settings.ini", "precious");
    PruneDataDir(tmp.Path(), "");
    PruneDataDir("", "Tavrin");
    EXPECT_TRUE(platform::IsExistingFile(tmp / "OtherProgram/settings.ini"));
}

TEST(StagedLauncherPath, IsGameFolderPlusBaseNameAsProgram) {
    EXPECT_EQ(StagedLauncherPath("D" + std::string(1, platform::PathSeparator()), "Launcher"),
              "D" + std::string(1, platform::PathSeparator()) + "Game" + platform::PathSeparator() +
                  Exe("Launcher"));
}

TEST(BrowserProfileDir, OnePerBaseNameBesideTheDataDirectoryAndKeptByPruning) {
    TempDir tmp;
    // Where the local application data folder and the state folder are one (Windows).
    const std::string profileA = BrowserProfileDirFor(tmp.Path(), "Tavrin");
    const std::string profileB = BrowserProfileDirFor(tmp.Path(), "Other");
    const std::string dataDir = DataDirFor(tmp.Path(), "Tavrin");
    ASSERT_FALSE(profileA.empty());
    EXPECT_NE(profileA, profileB);
    EXPECT_NE(profileA.rfind(dataDir, 0), 0u) << profileA << " is inside " << dataDir;
    ASSERT_TRUE(platform::CreateDirTree(profileA));
    tmp.Write("Tavrin.browser/Cookies", "session");
    tmp.Write("Tavrin/update.ini", "[update]\n");
    PruneDataDir(dataDir, "Tavrin");
    EXPECT_FALSE(platform::PathExists(tmp / "Tavrin"));
    EXPECT_TRUE(platform::IsExistingFile(tmp / "Tavrin.browser/Cookies"));
    // Without a usable base name or state folder nothing is kept anywhere.
    for (const char* base : {"", ".", ".."}) {
        EXPECT_EQ(BrowserProfileDirFor(tmp.Path(), base), "") << base;
    }
    EXPECT_EQ(BrowserProfileDirFor("", "Tavrin"), "");
}

}  // namespace
}  // namespace tavrin
