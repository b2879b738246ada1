// The pieces of entry description that need no archive: names, attributes and times.
#include "update/archive.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrin {
namespace {

TEST(IsSafeEntryName, RefusesNamesThatLeaveTheFolder) {
    const struct {
        const char* name;
        bool safe;
    } cases[] = {
        {"Game/tavrin", true},
        {"a/b/", true},
        {"a..b/c", true},
        {"..", false},
        {"../x", false},
        {"a/../../x", false},
        {"a\\..\\x", false},
        {"/etc/passwd", false},
        {"\\x", false},
        {"C:x", false},
        {"c:\\x", false},
        {"", false},
        // Windows devices, in any part, in any case, with any extension.
        {"CON", false},
        {"game/nul.txt", false},
        {"Aux\\x", false},
        {"a/prn.tar.gz", false},
        {"com1", false},
        {"LPT9.log", false},
        {"nul .txt", false},
        {"COM10", true},
        {"lpt0", true},
        {"console.txt", true},
        {"nul_/x", true},
        {"a/con-fig", true},
        // Windows drops trailing dots and blanks: "a." and "a " would be "a".
        {"a./b", false},
        {"a/b.", false},
        {"a /b", false},
        {"b ", false},
        {"...", false},
        {"./a", true},
        {"a/./b", true},
        {".hidden", true},
        {"a b/c", true},
        // Windows' console devices, and alternate data streams after a colon.
        {"CONIN$", false},
        {"x/conout$.txt", false},
        {"a/b:stream", false},
        {"setup.exe:Zone.Identifier", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsSafeEntryName(c.name), c.safe) << c.name;
    }
}

TEST(IsSafeEntryName, RefusesNamesWithANulByte) {
    for (const std::string& name :
         {std::string("a\0b.txt", 7), std::string("..\0", 3), std::string("a/..\0/b", 7)}) {
        EXPECT_FALSE(IsSafeEntryName(name)) << name.size();
    }
}

TEST(EntryAttributes, FromUnixModeOrDosBits) {
    const struct {
        std::uint32_t external;
        std::uint32_t attributes;
    } cases[] = {
        {0x81A40000u, kAttrNormal},                             // -rw-r--r--
        {0x81240000u, kAttrNormal | kAttrReadOnly},             // -r--r--r--
        {0x41ED0000u, kAttrNormal | kAttrDirectory},            // drwxr-xr-x
        {0x20u, kAttrNormal | kAttrArchive | kAttrReadOnly},    // DOS, no Unix bits
        {0x10u, kAttrNormal | kAttrDirectory | kAttrReadOnly},  // DOS folder
        {0x00800007u, kAttrNormal | kAttrReadOnly | kAttrHidden | kAttrSystem},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EntryAttributes(c.external), c.attributes) << std::hex << c.external;
    }
}

TEST(DosDateTimeToUnix, ReadsTheFieldsWithoutAZone) {
    // 2020-05-17 10:20:30
    const std::uint32_t date = ((2020 - 1980) << 9) | (5 << 5) | 17;
    const std::uint32_t time = (10 << 11) | (20 << 5) | (30 / 2);
    EXPECT_EQ(DosDateTimeToUnix(date << 16 | time), 1589710830);
    EXPECT_EQ(DosDateTimeToUnix((1 << 5 | 1) << 16), 315532800);  // 1980-01-01
}

TEST(ReadExtendedTimestamp, TakesTheTimesTheFlagsAnnounce) {
    // A foreign block first, then "UT" with modification and access times (flags 0x03).
    const unsigned char extra[] = {'x',  'y',  2,    0,    9,    9,    'U',  'T',  9,   0,
                                   0x03, 0x00, 0x2F, 0x68, 0x59, 0x00, 0x4E, 0x72, 0x53};
    std::int64_t m = 0, a = 0, c = 0;
    bool hm = false, ha = false, hc = true;
    ASSERT_TRUE(ReadExtendedTimestamp(extra, sizeof extra, m, a, c, hm, ha, hc));
    EXPECT_TRUE(hm);
    EXPECT_TRUE(ha);
    EXPECT_FALSE(hc);
    EXPECT_EQ(m, 1500000000);
    EXPECT_EQ(a, 1400000000);
    EXPECT_FALSE(ReadExtendedTimestamp(extra, 4, m, a, c, hm, ha, hc));
}

}  // namespace
}  // namespace tavrin
