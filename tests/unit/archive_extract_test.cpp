// Unpacking archives written with minizip's own writer (test::WriteZip), so the same cases run on
// every platform (under Wine as well): stored and deflated entries, folders, an old read-only
// copy, damaged data and names that would leave the folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"
#include "update/archive.h"

namespace tavrin {
namespace {

using test::kZipDeflated;
using test::kZipStored;
using test::WriteZip;
using test::ZipEntry;

const std::string kBig(100000, 'x');

// Stored and deflated files, and a folder entry.
std::vector<ZipEntry> Package() {
    return {{"Game/", ""},
            {"Game/tavrin.exe", kBig},
            {.name = "Game/readme.txt", .content = "stored text", .method = kZipStored},
            {"Update/update.exe", "updater"}};
}

TEST(ExtractArchive, UnpacksStoredDeflatedAndFolderEntries) {
    test::TempDir dir;
    ASSERT_TRUE(WriteZip(dir / "p.zip", Package()));
    ASSERT_TRUE(ExtractArchive(dir / "p.zip", dir / "out"));
    EXPECT_TRUE(platform::IsDirectory(dir / "out/Game"));
    EXPECT_EQ(test::ReadFile(dir / "out/Game/tavrin.exe"), kBig);
    EXPECT_EQ(test::ReadFile(dir / "out/Game/readme.txt"), "stored text");
    EXPECT_EQ(test::ReadFile(dir / "out/Update/update.exe"), "updater");
}

TEST(ExtractArchive, ReplacesAReadOnlyOldCopy) {
    test::TempDir dir;
    dir.Write("out/Game/tavrin.exe", "old");
    test::MakeReadOnly(dir / "out/Game/tavrin.exe");
    ASSERT_TRUE(WriteZip(dir / "p.zip", {{"Game/tavrin.exe", "new"}}));
    ASSERT_TRUE(ExtractArchive(dir / "p.zip", dir / "out"));
    EXPECT_EQ(test::ReadFile(dir / "out/Game/tavrin.exe"), "new");
}

TEST(ExtractArchive, RefusesNamesThatLeaveTheFolder) {
    for (const char* hostile : {"../escaped.txt", "a/../../escaped.txt", "..\\escaped.txt"}) {
        test::TempDir dir;
        ASSERT_TRUE(WriteZip(dir / "p.zip", {{"first.txt", "1"}, {hostile, "evil"}}));
        EXPECT_FALSE(ExtractArchive(dir / "p.zip", dir / "out/inner")) << hostile;
        EXPECT_EQ(ArchiveLastResult(), kArchiveUnsafeName) << hostile;
        EXPECT_EQ(test::ReadFile(dir / "out/inner/first.txt"), "1") << hostile;
        EXPECT_FALSE(platform::PathExists(dir / "out/escaped.txt")) << hostile;
        EXPECT_FALSE(platform::PathExists(dir / "escaped.txt")) << hostile;
    }
}

// Flips one byte of the first entry's data: a stored entry then fails its CRC-32 check, a
// deflated one its inflate or CRC-32 check; either way the unpacking fails.
// What each entry is decides what comes out, and a failure says what was written and leaves
// no file of the entry it failed on.
TEST(ExtractArchive, FoldersEncryptionAndZip64AreReadAsTheyAreMeant) {
    struct Case {
        const char* what;
        std::vector<ZipEntry> entries;
        int result;
        std::vector<std::string> written;
    };
    const Case cases[] = {
        {"a Unix file whose DOS byte has the folder bit",
         {{.name = "data.bin", .content = "kept", .unixMode = 0100644, .dosAttributes = 0x10}},
         kArchiveOk,
         {"data.bin"}},
        {"a Unix folder without its trailing separator",
         {{.name = "bin", .unixMode = 040755}, {"bin/a", "a"}},
         kArchiveOk,
         {"bin/a"}},
        {"ZIP64 fields on small entries",
         {{.name = "a.txt", .content = kBig, .zip64 = true},
          {.name = "b.txt", .content = "b", .method = kZipStored, .zip64 = true}},
         kArchiveOk,
         {"a.txt", "b.txt"}},
        {"a folder entry with data",
         {{"ok.txt", "ok"}, {"dir/", "bytes"}},
         kArchiveFolderWithData,
         {"ok.txt"}},
        {"an encrypted entry",
         {{"ok.txt", "ok"}, {.name = "secret", .content = "s", .password = "pw"}},
         kArchiveEncrypted,
         {"ok.txt"}},
        {"an empty entry made on MS-DOS with the folder bit but no separator",
         {{.name = "empty", .content = "", .dosAttributes = 0x10}},
         kArchiveOk,
         {"empty"}},
        {"a bzip2 entry",
         {{"ok.txt", "ok"}, {.name = "b.bin", .content = "b", .method = 12}},
         kArchiveUnsupportedMethod,
         {"ok.txt"}},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        ASSERT_TRUE(WriteZip(dir / "p.zip", c.entries)) << c.what;
        ExtractReport report;
        EXPECT_EQ(ExtractArchive(dir / "p.zip", dir / "out", &report), c.result == kArchiveOk)
            << c.what;
        EXPECT_EQ(ArchiveLastResult(), c.result) << c.what;
        EXPECT_EQ(report.written, c.written) << c.what;
        if (c.result == kArchiveUnsupportedMethod) {  // the method is named
            EXPECT_NE(report.error.find(": bzip2"), std::string::npos) << report.error;
        }
        for (const ZipEntry& entry : c.entries) {
            const bool written =
                std::find(c.written.begin(), c.written.end(), entry.name) != c.written.end();
            std::string bytes;
            EXPECT_EQ(platform::ReadWholeFile(dir / ("out/" + entry.name), bytes), written)
                << c.what << ": " << entry.name;
            if (written) {
                EXPECT_EQ(bytes, entry.content) << c.what;
            }
        }
    }
}

TEST(ExtractArchive, DamagedDataIsAFailure) {
    for (int method : {kZipStored, kZipDeflated}) {
        test::TempDir dir;
        const std::string content(5000, 'a');
        ASSERT_TRUE(
            WriteZip(dir / "p.zip", {{.name = "data.bin", .content = content, .method = method}}));
        std::string bytes = test::ReadFile(dir / "p.zip");
        const std::size_t dataStart = 30 + std::string("data.bin").size();
        bytes[dataStart + 1] = static_cast<char>(bytes[dataStart + 1] ^ 0x55);
        dir.Write("p.zip", bytes);
        EXPECT_FALSE(ExtractArchive(dir / "p.zip", dir / "out")) << method;
        EXPECT_EQ(ArchiveLastResult(), kArchiveReadWrite) << method;
        // No file under the entry's name holds bytes that are not the entry's.
        EXPECT_FALSE(platform::IsExistingFile(dir / "out/data.bin")) << method;
    }
}

// A central record that cannot be read ends the directory early; the entries after it must
// not go missing unnoticed, even when the end record's count happens to agree (as a 16-bit
// count of 70,000 agrees with 4,464 records).
TEST(ExtractArchive, ADirectoryItsRecordsDoNotFillIsAFailure) {
    test::TempDir dir;
    ASSERT_TRUE(WriteZip(dir / "p.zip", {{"a.txt", "a"}, {"b.txt", "b"}}));
    std::string bytes = test::ReadFile(dir / "p.zip");
    const std::size_t second = bytes.find("PK\x01\x02", bytes.find("PK\x01\x02") + 4);
    const std::size_t end = bytes.rfind("PK\x05\x06");
    ASSERT_NE(second, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    bytes[second + 1] = 'X';  // the second record is damaged
    bytes[end + 8] = '\x01';  // and the counts say one entry
    bytes[end + 10] = '\x01';
    dir.Write("p.zip", bytes);
    EXPECT_FALSE(ExtractArchive(dir / "p.zip", dir / "out"));
    EXPECT_EQ(ArchiveLastResult(), kArchiveInconsistent);
    EXPECT_FALSE(platform::PathExists(dir / "out/a.txt"));
}

// The header says the entry is longer than its data: the data is intact as far as it goes,
// but the file would come out short, so the unpacking fails.
TEST(ExtractArchive, DataEndingBeforeItsSizeIsAFailure) {
    for (int method : {kZipStored, kZipDeflated}) {
        test::TempDir dir;
        ASSERT_TRUE(
            WriteZip(dir / "p.zip",
                     {{.name = "data.bin", .content = std::string(5000, 'a'), .method = method}}));
        std::string bytes = test::ReadFile(dir / "p.zip");
        const std::size_t central = bytes.find("PK\x01\x02");
        ASSERT_NE(central, std::string::npos);
        for (const std::size_t at : {std::size_t{22}, central + 24}) {
            ASSERT_EQ(static_cast<unsigned char>(bytes[at]), 5000 & 0xFF);
            bytes[at] = static_cast<char>((5000 + 100) & 0xFF);  // 5100: the high byte stays
        }
        dir.Write("p.zip", bytes);
        EXPECT_FALSE(ExtractArchive(dir / "p.zip", dir / "out")) << method;
        EXPECT_EQ(ArchiveLastResult(), kArchiveReadWrite) << method;
    }
}

// Little-endian fields for archives put together by hand; bytes past the eighth are zero.
void PutLe(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>(i < 8 ? (value >> (8 * i)) & 0xFF : 0);
    }
}

// A zip64 end record whose directory offset and size add up to 2^64: the directory seems to
// lie before the record, and minizip goes to read it at 2^64 - 1. The reader must fail
// there like anywhere past the end, not read outside its buffers.
TEST(ExtractArchive, PositionsNearTwoToTheSixtyFourAreRefused) {
    const std::uint64_t size = 5;
    std::string bytes = "PK\x03\x04";
    PutLe(bytes, 0x06064B50, 4);  // the zip64 end record
    PutLe(bytes, 44, 8);
    PutLe(bytes, 45, 2);
    PutLe(bytes, 45, 2);
    PutLe(bytes, 0, 4);
    PutLe(bytes, 0, 4);
    PutLe(bytes, 1, 8);
    PutLe(bytes, 1, 8);
    PutLe(bytes, size, 8);
    PutLe(bytes, 0 - size, 8);
    PutLe(bytes, 0x07064B50, 4);  // its locator
    PutLe(bytes, 0, 4);
    PutLe(bytes, 4, 8);
    PutLe(bytes, 1, 4);
    PutLe(bytes, 0x06054B50, 4);  // the plain end record, consistent in itself
    PutLe(bytes, 0, 4);
    PutLe(bytes, 1, 2);
    PutLe(bytes, 1, 2);
    PutLe(bytes, 0, 10);

    test::TempDir dir;
    dir.Write("p.zip", bytes);
    EXPECT_FALSE(ExtractArchive(dir / "p.zip", dir / "out"));
    int result = 0;
    ArchiveHandle* memory = ArchiveOpenMemory(bytes.data(), bytes.size(), dir.Path(), result);
    ArchiveEntry entry;
    EXPECT_TRUE(memory == nullptr || ArchiveGetEntry(memory, 0, entry) != kArchiveOk);
    ArchiveClose(memory);
}

// Zip64 end records claiming more entries than an int counts, over an empty directory: a
// count that wrapped would make the archive look read, with nothing unpacked.
TEST(ExtractArchive, EntryCountsBeyondAnIntAreAFailure) {
    for (const std::uint64_t count : {std::uint64_t{1} << 31, std::uint64_t{1} << 32,
                                      (std::uint64_t{1} << 32) + 1, ~std::uint64_t{0}}) {
        std::string bytes = "PK\x03\x04";
        PutLe(bytes, 0x06064B50, 4);  // the zip64 end record
        PutLe(bytes, 44, 8);
        PutLe(bytes, 45, 2);
        PutLe(bytes, 45, 2);
        PutLe(bytes, 0, 8);           // this disk, the directory's disk
        PutLe(bytes, count, 8);       // entries on this disk
        PutLe(bytes, count, 8);       // entries in all
        PutLe(bytes, 0, 8);           // the directory's size
        PutLe(bytes, 4, 8);           // and offset: right before this record
        PutLe(bytes, 0x07064B50, 4);  // its locator
        PutLe(bytes, 0, 4);
        PutLe(bytes, 4, 8);
        PutLe(bytes, 1, 4);
        PutLe(bytes, 0x06054B50, 4);  // the plain end record: "see the zip64 one"
        PutLe(bytes, 0, 4);
        PutLe(bytes, 0xFFFF, 2);
        PutLe(bytes, 0xFFFF, 2);
        PutLe(bytes, 0, 10);

        test::TempDir dir;
        dir.Write("p.zip", bytes);
        EXPECT_FALSE(ExtractArchive(dir / "p.zip", dir / "out")) << count;
        EXPECT_NE(ArchiveLastResult(), kArchiveOk) << count;
        int result = kArchiveOk;
        EXPECT_EQ(ArchiveOpenMemory(bytes.data(), bytes.size(), dir.Path(), result), nullptr)
            << count;
        EXPECT_NE(result, kArchiveOk) << count;
    }
}

// The archive read from memory lists and unpacks exactly what the same file does.
TEST(ArchiveOpenMemory, UnpacksWhatTheFileUnpacks) {
    test::TempDir dir;
    ASSERT_TRUE(WriteZip(dir / "p.zip", Package()));
    ASSERT_TRUE(ExtractArchive(dir / "p.zip", dir / "file"));
    const std::string bytes = test::ReadFile(dir / "p.zip");

    int fileResult = -1;
    int memoryResult = -1;
    ArchiveHandle* file = ArchiveOpen(dir / "p.zip", dir / "unused/", fileResult);
    ArchiveHandle* memory =
        ArchiveOpenMemory(bytes.data(), bytes.size(), dir / "mem/", memoryResult);
    ASSERT_NE(file, nullptr);
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(memoryResult, kArchiveOk);
    ArchiveEntry count;
    ASSERT_EQ(ArchiveGetEntry(memory, -1, count), kArchiveOk);
    EXPECT_EQ(count.index, 4);
    for (int i = 0; i < count.index; ++i) {
        ArchiveEntry fromFile;
        ArchiveEntry fromMemory;
        ASSERT_EQ(ArchiveGetEntry(file, i, fromFile), kArchiveOk) << i;
        ASSERT_EQ(ArchiveGetEntry(memory, i, fromMemory), kArchiveOk) << i;
        EXPECT_EQ(fromMemory.name, fromFile.name);
        EXPECT_EQ(fromMemory.attributes, fromFile.attributes) << fromFile.name;
        EXPECT_EQ(fromMemory.modificationTime, fromFile.modificationTime) << fromFile.name;
        EXPECT_EQ(fromMemory.compressedSize, fromFile.compressedSize) << fromFile.name;
        EXPECT_EQ(fromMemory.uncompressedSize, fromFile.uncompressedSize) << fromFile.name;
        EXPECT_EQ(ArchiveExtractEntry(memory, i, fromMemory.name), kArchiveOk) << fromFile.name;
    }
    ArchiveClose(file);
    ArchiveClose(memory);
    EXPECT_TRUE(platform::IsDirectory(dir / "mem/Game"));
    for (const char* name : {"Game/tavrin.exe", "Game/readme.txt", "Update/update.exe"}) {
        EXPECT_EQ(test::ReadFile(dir / (std::string("mem/") + name)),
                  test::ReadFile(dir / (std::string("file/") + name)))
            << name;
    }
    EXPECT_EQ(test::ReadFile(dir / "mem/Game/tavrin.exe"), kBig);
}

// Damaged or foreign bytes give the same result from memory as from a file.
TEST(ArchiveOpenMemory, RefusesWhatTheFileRefuses) {
    test::TempDir dir;
    ASSERT_TRUE(WriteZip(dir / "p.zip", {{"a.txt", "a"}}));
    const std::string archive = test::ReadFile(dir / "p.zip");
    std::string badEnd = archive;
    badEnd[badEnd.size() - 22 + 4] = 1;  // the end record's disk number
    for (const std::string& bytes :
         {std::string(), std::string(300, 'z'), archive.substr(0, archive.size() - 5),
          archive.substr(archive.size() - 22), badEnd}) {
        dir.Write("bad.zip", bytes);
        int fileResult = 0;
        int memoryResult = 0;
        EXPECT_EQ(ArchiveOpen(dir / "bad.zip", dir.Path(), fileResult), nullptr);
        EXPECT_EQ(ArchiveOpenMemory(bytes.data(), bytes.size(), dir.Path(), memoryResult), nullptr);
        EXPECT_NE(memoryResult, kArchiveOk) << bytes.size();
        EXPECT_EQ(memoryResult, fileResult) << bytes.size();
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
