// Unpacking archives written here with minizip's own writer, so the same cases run on every
// platform (under Wine as well): stored and deflated entries, folders, an old read-only copy,
// damaged data and names that would leave the folder.
#include <minizip/zip.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "support/temp_dir.h"
#include "update/archive.h"

namespace tavrin {
namespace {

struct Item {
    std::string name;
    std::string content;
    int method = Z_DEFLATED;  // 0: stored
};

// Writes the archive; returns false when minizip refuses.
bool WriteArchive(const std::string& path, const std::vector<Item>& items) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr) {
        return false;
    }
    bool ok = true;
    for (const Item& item : items) {
        zip_fileinfo info{};
        info.dosDate = 0x5A8C6000;  // 2025-04-12 12:00:00
        ok = ok &&
             zipOpenNewFileInZip64(zip, item.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                   item.method, Z_DEFAULT_COMPRESSION, 0) == ZIP_OK &&
             zipWriteInFileInZip(zip, item.content.data(),
                                 static_cast<unsigned>(item.content.size())) == ZIP_OK &&
             zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

TEST(ExtractArchive, UnpacksStoredDeflatedAndFolderEntries) {
    test::TempDir dir;
    const std::string big(100000, 'x');
    ASSERT_TRUE(WriteArchive(dir / "p.zip", {{"Game/", ""},
                                             {"Game/tavrin.exe", big},
                                             {"Game/readme.txt", "stored text", 0},
                                             {"Update/update.exe", "updater"}}));
    ASSERT_TRUE(ExtractArchive(dir / "p.zip", dir / "out"));
    EXPECT_TRUE(platform::IsDirectory(dir / "out/Game"));
    EXPECT_EQ(test::ReadFile(dir / "out/Game/tavrin.exe"), big);
    EXPECT_EQ(test::ReadFile(dir / "out/Game/readme.txt"), "stored text");
    EXPECT_EQ(test::ReadFile(dir / "out/Update/update.exe"), "updater");
}

TEST(ExtractArchive, ReplacesAReadOnlyOldCopy) {
    test::TempDir dir;
    dir.Write("out/Game/tavrin.exe", "old");
    test::MakeReadOnly(dir / "out/Game/tavrin.exe");
    ASSERT_TRUE(WriteArchive(dir / "p.zip", {{"Game/tavrin.exe", "new"}}));
    ASSERT_TRUE(ExtractArchive(dir / "p.zip", dir / "out"));
    EXPECT_EQ(test::ReadFile(dir / "out/Game/tavrin.exe"), "new");
}

TEST(ExtractArchive, RefusesNamesThatLeaveTheFolder) {
    for (const char* hostile : {"../escaped.txt", "a/../../escaped.txt", "..\\escaped.txt"}) {
        test::TempDir dir;
        ASSERT_TRUE(WriteArchive(dir / "p.zip", {{"first.txt", "1"}, {hostile, "evil"}}));
        EXPECT_FALSE(ExtractArchive(dir / "p.zip", dir / "out/inner")) << hostile;
        EXPECT_EQ(test::ReadFile(dir / "out/inner/first.txt"), "1") << hostile;
        EXPECT_FALSE(platform::PathExists(dir / "out/escaped.txt")) << hostile;
        EXPECT_FALSE(platform::PathExists(dir / "escaped.txt")) << hostile;
    }
}

// Flips one byte of the first entry's data: a stored entry then fails its CRC-32 check, a
// deflated one its inflate or CRC-32 check; either way the unpacking fails.
TEST(ExtractArchive, DamagedDataIsAFailure) {
    for (int method : {0, Z_DEFLATED}) {
        test::TempDir dir;
        const std::string content(5000, 'a');
        ASSERT_TRUE(WriteArchive(dir / "p.zip", {{"data.bin", content, method}}));
        std::string bytes = test::ReadFile(dir / "p.zip");
        const std::size_t dataStart = 30 + std::string("data.bin").size();
        bytes[dataStart + 1] = static_cast<char>(bytes[dataStart + 1] ^ 0x55);
        dir.Write("p.zip", bytes);
        EXPECT_FALSE(ExtractArchive(dir / "p.zip", dir / "out")) << method;
        EXPECT_EQ(ArchiveLastResult(), kArchiveReadWrite) << method;
    }
}

TEST(ExtractArchive, NotAnArchive) {
    test::TempDir dir;
    dir.Write("p.zip", std::string(300, 'z'));
    EXPECT_FALSE(ExtractArchive(dir / "p.zip", dir / "out"));
    EXPECT_FALSE(ExtractArchive(dir / "missing.zip", dir / "out"));
}

}  // namespace
}  // namespace tavrin
