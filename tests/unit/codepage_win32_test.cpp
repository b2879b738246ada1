// The Windows lane runs with the Chinese code page active, where the second byte of a
// double-byte character can be a backslash. These tests fail if any path helper searches
// bytes instead of characters.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/program_paths.h"
#include "platform/codepage.h"
#include "platform/file_system.h"
#include "support/temp_dir.h"
#include "update/install.h"

namespace tavrin {
namespace {

// 0xD5 0x5C: one character in code page 936, its trail byte equal to '\'.
const std::string kTrailBackslash = "\xD5\x5C";

TEST(ChineseCodePage, IsActive) {
    EXPECT_EQ(GetACP(), 936u);
}

TEST(ChineseCodePage, BaseNameKeepsDoubleByteCharacters) {
    EXPECT_EQ(ComputeBaseName("C:\\Games\\" + kTrailBackslash + ".exe"), kTrailBackslash);
    EXPECT_EQ(ComputeBaseName("C:\\" + kTrailBackslash + "\\Launcher.exe"), "Launcher");
    EXPECT_EQ(platform::FindLastMbChar("C:\\" + kTrailBackslash, '\\'), 2u);
}

TEST(ChineseCodePage, PathsAreCutAtRealSeparators) {
    const std::string launcher = "C:\\Games\\" + kTrailBackslash + ".exe";
    EXPECT_EQ(FileNameOf(launcher), kTrailBackslash + ".exe");
    EXPECT_EQ(FolderOf(launcher), "C:\\Games\\");
    EXPECT_EQ(FolderOf("C:\\" + kTrailBackslash + "\\a.exe"), "C:\\" + kTrailBackslash + "\\");

    // The updater's argument names a launcher whose own name ends in such a character.
    HandOver handOver;
    std::string error;
    EXPECT_TRUE(ParseHandOver(launcher + "*C:\\Data\\*" + kTrailBackslash, handOver, error))
        << error;
}

TEST(ChineseCodePage, ModuleDirEndsWithARealSeparator) {
    EXPECT_TRUE(platform::EndsWithSeparator("C:\\Games\\"));
    EXPECT_FALSE(platform::EndsWithSeparator("C:\\Games\\" + kTrailBackslash));
}

TEST(ChineseCodePage, FolderTreesWithDoubleByteNames) {
    test::TempDir tmp;
    ASSERT_TRUE(platform::CreateDirTree(tmp.Path() + kTrailBackslash + "dir\\inner"));
    const auto top = platform::ListDirectory(tmp.Path());
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].name, kTrailBackslash + "dir");
    EXPECT_TRUE(platform::IsDirectory(tmp.Path() + kTrailBackslash + "dir\\inner"));

    tmp.Write(kTrailBackslash + "dir\\inner\\" + kTrailBackslash + ".txt", "x");
    platform::DeleteDirContents(tmp.Path() + kTrailBackslash + "dir");
    EXPECT_TRUE(platform::ListDirectory(tmp.Path() + kTrailBackslash + "dir").empty());

    // A folder whose name ends in such a character is a folder like any other.
    const std::string last = tmp.Path() + "dir" + kTrailBackslash;
    tmp.Write("dir" + kTrailBackslash + "\\inner.txt", "x");
    ASSERT_EQ(platform::ListDirectory(last).size(), 1u);
    platform::DeleteDirContents(last);
    EXPECT_TRUE(platform::ListDirectory(last).empty());
    EXPECT_TRUE(platform::IsDirectory(last));
}

}  // namespace
}  // namespace tavrin
