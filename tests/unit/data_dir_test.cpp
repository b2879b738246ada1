#include "app/data_dir.h"

#include <gtest/gtest.h>

#include "app/app_globals.h"
#include "app/program_paths.h"
#include "platform/file_system.h"
#include "platform/named_mutex.h"
#include "platform/system_paths.h"
#include "support/temp_dir.h"

namespace tavrin {
namespace {

using test::TempDir;

std::string Exe(const std::string& name) {
    return name + platform::ExecutableSuffix();
}

// Pruning takes the update mutex, which is system-wide: test programs running side by side
// must not prune under one name.
std::string UniqueBaseName() {
    return "Tavrin" + test::UniqueSuffix();
}

TEST(PruneDataDir, RemovesTheWholeDirectoryWhenNoLauncherIsStaged) {
    TempDir tmp;
    const std::string base = UniqueBaseName();
    tmp.Write(base + "/update.ini", "[update]\n");
    tmp.Write(base + "/downZip/Game", "zip");
    tmp.Write(base + "/Game/" + Exe("Other"), "not ours");
    PruneDataDir(tmp / (base + "/"), base);
    EXPECT_FALSE(platform::PathExists(tmp / base));
}

TEST(PruneDataDir, KeepsEverythingWhenTheLauncherIsStaged) {
    TempDir tmp;
    tmp.Write("Tavrin/update.ini", "[update]\n");
    tmp.Write("Tavrin/Game/" + Exe("Tavrin"), "new launcher");
    PruneDataDir(tmp / "Tavrin/", "Tavrin");
    EXPECT_TRUE(platform::IsExistingFile(tmp / "Tavrin/update.ini"));
    EXPECT_TRUE(platform::IsExistingFile(tmp / ("Tavrin/Game/" + Exe("Tavrin"))));
}

TEST(PruneDataDir, NeverRunsWithoutAUsableBaseName) {
    // With an empty base name the data directory is the user's whole application data
    // folder: pruning it would delete every other program's data.
    TempDir tmp;
    tmp.Write("OtherProgram/settings.ini", "precious");
    PruneDataDir(tmp.Path(), "");
    PruneDataDir("", "Tavrin");
    // "..tavrin" and "...x" give "." and "..": the folder itself and its parent. Windows
    // reads "..." and ". " as one of those.
    for (const std::string base : {".", "..", "...", ". "}) {
        PruneDataDir(tmp / ("OtherProgram/" + base + "/"), base);
    }
    EXPECT_TRUE(platform::IsExistingFile(tmp / "OtherProgram/settings.ini"));
}

// A program name without a usable base name, or no local data folder: no data directory at
// all (so nothing to prune or update), and the player's log says why.
TEST(PrepareDataDir, NoDataDirectoryWithoutAUsableBaseName) {
    for (const char* base : {".", "..", ""}) {
        g_strBaseName = base;
        testing::internal::CaptureStderr();
        EXPECT_EQ(PrepareDataDir(), "") << base;
        EXPECT_NE(testing::internal::GetCapturedStderr().find("no data directory"),
                  std::string::npos)
            << base;
    }
    g_strBaseName.clear();
    // Without the local data folder the data directory would be "/<base name>/".
    EXPECT_EQ(DataDirFor("", "Tavrin"), "");
    EXPECT_EQ(DataDirFor(TempDir().Path(), ".."), "");
}

// Another copy's update check downloads into the data directory, or its updater works in
// Game/: this copy's pruning leaves the folder to it, and prunes once it has finished.
TEST(PruneDataDir, LeavesTheDirectoryToTheHolderOfTheUpdateMutex) {
    TempDir tmp;
    const std::string base = UniqueBaseName();
    tmp.Write(base + "/downZip/Game.down1", "half a package");
    {
        platform::NamedMutex otherCopy(UpdateMutexName(base));
        ASSERT_TRUE(otherCopy.IsValid());
        PruneDataDir(tmp / (base + "/"), base);
        EXPECT_TRUE(platform::IsExistingFile(tmp / (base + "/downZip/Game.down1")));
    }
    PruneDataDir(tmp / (base + "/"), base);
    EXPECT_FALSE(platform::PathExists(tmp / base));
}

TEST(StagedLauncherPath, IsGameFolderPlusBaseNameAsProgram) {
    EXPECT_EQ(StagedLauncherPath("D" + std::string(1, platform::PathSeparator()), "Launcher"),
              "D" + std::string(1, platform::PathSeparator()) + "Game" + platform::PathSeparator() +
                  Exe("Launcher"));
}

TEST(BrowserProfileDir, OnePerBaseNameBesideTheDataDirectoryAndKeptByPruning) {
    TempDir tmp;
    // Where the local application data folder and the state folder are one (Windows).
    const std::string base = UniqueBaseName();
    const std::string profileA = BrowserProfileDirFor(tmp.Path(), base);
    const std::string profileB = BrowserProfileDirFor(tmp.Path(), "Other");
    const std::string dataDir = DataDirFor(tmp.Path(), base);
    ASSERT_FALSE(profileA.empty());
    EXPECT_NE(profileA, profileB);
    EXPECT_NE(profileA.rfind(dataDir, 0), 0u) << profileA << " is inside " << dataDir;
    ASSERT_TRUE(platform::CreateDirTree(profileA));
    tmp.Write(base + ".browser/Cookies", "session");
    tmp.Write(base + "/update.ini", "[update]\n");
    PruneDataDir(dataDir, base);
    EXPECT_FALSE(platform::PathExists(tmp / base));
    EXPECT_TRUE(platform::IsExistingFile(tmp / (base + ".browser/Cookies")));
    // Without a usable base name or state folder nothing is kept anywhere.
    for (const char* base : {"", ".", ".."}) {
        EXPECT_EQ(BrowserProfileDirFor(tmp.Path(), base), "") << base;
    }
    EXPECT_EQ(BrowserProfileDirFor("", "Tavrin"), "");
}

}  // namespace
}  // namespace tavrin
