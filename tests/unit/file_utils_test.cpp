#include "app/file_utils.h"

#include <gtest/gtest.h>

#include "app/app_globals.h"
#include "platform/file_system.h"
#include "platform/system_paths.h"
#include "support/temp_dir.h"

namespace tavrin {
namespace {

using test::MakeReadOnly;
using test::TempDir;

// Builds a path with the platform separator from a '/'-separated one.
std::string Native(std::string path) {
    for (char& c : path) {
        if (c == '/') {
            c = platform::PathSeparator();
        }
    }
    return path;
}

TEST(ComputeBaseName, CutsFolderAndLastExtension) {
    const struct {
        const char* path;
        const char* expected;
    } cases[] = {
        {"/games/Launcher.exe", "Launcher"},
        {"/games/tavrin", "tavrin"},  // no dot: the name
                                      // itself, never empty
        {"/games/my.game.exe", "my.game"},
        {"/games.d/tavrin", "tavrin"},  // a dot in a folder
                                        // does not count
        {"Launcher.exe", "Launcher"},
        {"/games/.exe", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ComputeBaseName(Native(c.path)), c.expected) << c.path;
    }
}

TEST(DataDirFor, AddsSeparatorsOnlyWhereMissing) {
    const std::string s(1, platform::PathSeparator());
    EXPECT_EQ(DataDirFor(Native("/home/u/.local/share"), "tavrin"),
              Native("/home/u/.local/share/tavrin/"));
    EXPECT_EQ(DataDirFor(Native("/home/u/.local/share/"), "tavrin"),
              Native("/home/u/.local/share/tavrin/"));
}

TEST(ModulePath, NamesThisTestProgram) {
    const std::string path = GetModulePath();
    const std::string dir = GetModuleDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_TRUE(EndsWithSeparator(dir));
    EXPECT_EQ(path.substr(0, dir.size()), dir);
    EXPECT_EQ(ComputeBaseName(path), "tavrin_core_tests");
    EXPECT_TRUE(IsExistingFile(path));
}

TEST(GetDataDir, IsLocalDataFolderPlusBaseName) {
    g_strBaseName = "TavrinProbe";
    const std::string dir = GetDataDir();
    EXPECT_EQ(dir, DataDirFor(platform::LocalAppDataFolder(), "TavrinProbe"));
    EXPECT_TRUE(EndsWithSeparator(dir));
    g_strBaseName.clear();
}

TEST(IsExistingFile, OnlyForThingsThatAreNotFolders) {
    TempDir tmp;
    tmp.Write("file.txt", "x");
    EXPECT_TRUE(IsExistingFile(tmp / "file.txt"));
    EXPECT_FALSE(IsExistingFile(tmp.Path()));
    EXPECT_FALSE(IsExistingFile(tmp / "missing.txt"));
}

TEST(CreateDirTree, MakesEveryMissingLevelWithEitherSeparator) {
    TempDir tmp;
    // Forward slashes are accepted on every platform, as in "C:/Games/Launcher".
    EXPECT_TRUE(CreateDirTree(tmp.Path() + "Games/Launcher"));
    EXPECT_TRUE(platform::IsDirectory(tmp / "Games"));
    EXPECT_TRUE(platform::IsDirectory(tmp / "Games/Launcher"));
    // Existing levels and a trailing separator are fine.
    EXPECT_TRUE(CreateDirTree(tmp / "Games/Launcher/Data/"));
    EXPECT_TRUE(platform::IsDirectory(tmp / "Games/Launcher/Data"));
}

TEST(CreateDirTree, EmptyPathFails) {
    EXPECT_FALSE(CreateDirTree(""));
}

TEST(DeleteDirContents, EmptiesTheTreeButKeepsTheFolder) {
    for (const bool trailingSeparator : {true, false}) {
        TempDir tmp;
        const std::string root = tmp / "root";
        tmp.Write("root/top.txt", "1");
        tmp.Write("root/sub/inner.txt", "2");
        tmp.Write("root/sub/deeper/deep.txt", "3");
        tmp.Write("root/readonly.txt", "4");
        MakeReadOnly(tmp / "root/readonly.txt");
        tmp.Write("root/locked/kept.txt", "5");
        MakeReadOnly(tmp / "root/locked");

        DeleteDirContents(trailingSeparator ? root + platform::PathSeparator() : root);

        EXPECT_TRUE(platform::IsDirectory(root)) << trailingSeparator;
        EXPECT_TRUE(platform::ListDirectory(root).empty()) << trailingSeparator;
    }
}

TEST(DeleteDirContents, EmptyPathTouchesNothing) {
    DeleteDirContents("");  // must not resolve to the current folder
    EXPECT_TRUE(IsExistingFile(GetModulePath()));
}

}  // namespace
}  // namespace tavrin
