#include "platform/file_system.h"

#include <gtest/gtest.h>

#include "app/program_paths.h"
#include "platform/system_paths.h"
#include "support/temp_dir.h"

namespace tavrin {
namespace {

using test::MakeReadOnly;
using test::TempDir;

TEST(IsExistingFile, OnlyForThingsThatAreNotFolders) {
    TempDir tmp;
    tmp.Write("file.txt", "x");
    EXPECT_TRUE(platform::IsExistingFile(tmp / "file.txt"));
    EXPECT_FALSE(platform::IsExistingFile(tmp.Path()));
    EXPECT_FALSE(platform::IsExistingFile(tmp / "missing.txt"));
}

TEST(CreateDirTree, MakesEveryMissingLevelWithEitherSeparator) {
    TempDir tmp;
    // Forward slashes are accepted on every platform, as in "C:/Games/Launcher".
    EXPECT_TRUE(platform::CreateDirTree(tmp.Path() + "Games/Launcher"));
    EXPECT_TRUE(platform::IsDirectory(tmp / "Games"));
    EXPECT_TRUE(platform::IsDirectory(tmp / "Games/Launcher"));
    // Existing levels and a trailing separator are fine.
    EXPECT_TRUE(platform::CreateDirTree(tmp / "Games/Launcher/Data/"));
    EXPECT_TRUE(platform::IsDirectory(tmp / "Games/Launcher/Data"));
}

TEST(CreateDirTree, EmptyPathFails) {
    EXPECT_FALSE(platform::CreateDirTree(""));
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

        platform::DeleteDirContents(trailingSeparator ? root + platform::PathSeparator() : root);

        EXPECT_TRUE(platform::IsDirectory(root)) << trailingSeparator;
        EXPECT_TRUE(platform::ListDirectory(root).empty()) << trailingSeparator;
    }
}

TEST(DeleteDirContents, EmptyPathTouchesNothing) {
    platform::DeleteDirContents("");  // must not resolve to the current folder
    EXPECT_TRUE(platform::IsExistingFile(GetModulePath()));
}

}  // namespace
}  // namespace tavrin
