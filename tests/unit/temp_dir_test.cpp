// The folder tavrin-tool's update check works in: the check empties its folder, so it must be
// one nobody else made, could have prepared, or shares.
#include "platform/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_system.h"
#include "platform/system_paths.h"

namespace tavrin::platform {
namespace {

TEST(MakePrivateTempDir, ANewEmptyFolderOfThisUsersEveryTime) {
    const std::string first = MakePrivateTempDir("tavrin-test-");
    const std::string second = MakePrivateTempDir("tavrin-test-");
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_NE(first, second);
    for (const std::string& folder : {first, second}) {
        EXPECT_TRUE(IsDirectory(folder)) << folder;
        EXPECT_TRUE(EndsWithSeparator(folder)) << folder;
        EXPECT_NE(folder.find("tavrin-test-"), std::string::npos) << folder;
        EXPECT_TRUE(ListDirectory(folder).empty()) << folder;
        // POSIX folders carry their modes; Windows ones take the user's temporary folder's.
        if (PathSeparator() == '/') {
            namespace fs = std::filesystem;
            const fs::perms others = fs::perms::group_all | fs::perms::others_all;
            EXPECT_EQ(fs::status(folder).permissions() & others, fs::perms::none) << folder;
        }
        EXPECT_TRUE(RemoveDirectoryEntry(folder)) << folder;
    }
}

}  // namespace
}  // namespace tavrin::platform
