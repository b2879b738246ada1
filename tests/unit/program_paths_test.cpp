#include "app/program_paths.h"

#include <gtest/gtest.h>

#include "app/app_globals.h"
#include "platform/file_system.h"
#include "platform/system_paths.h"

namespace tavrin {
namespace {

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
    EXPECT_TRUE(platform::EndsWithSeparator(dir));
    EXPECT_EQ(path.substr(0, dir.size()), dir);
    EXPECT_EQ(ComputeBaseName(path), "tavrin_core_tests");
    EXPECT_TRUE(platform::IsExistingFile(path));
}

TEST(GetDataDir, IsLocalDataFolderPlusBaseName) {
    g_strBaseName = "TavrinProbe";
    const std::string dir = GetDataDir();
    EXPECT_EQ(dir, DataDirFor(platform::LocalAppDataFolder(), "TavrinProbe"));
    EXPECT_TRUE(platform::EndsWithSeparator(dir));
    g_strBaseName.clear();
}

}  // namespace
}  // namespace tavrin
