#include "platform/font_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tavrin::platform {
namespace {

std::string U32(std::uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
std::string U16(std::uint16_t v) {
    return {char(v >> 8), char(v)};
}

struct Table {
    std::string tag;
    std::string body;
};

// A font's offset table and directory with the tables placed at `at` onwards (offsets are
// from the start of the whole file, as in a collection).
std::string Directory(const std::vector<Table>& tables, std::uint32_t at) {
    std::string out =
        U32(0x00010000) + U16(std::uint16_t(tables.size())) + U16(0) + U16(0) + U16(0);
    for (const Table& t : tables) {
        out += t.tag + U32(0) + U32(at) + U32(std::uint32_t(t.body.size()));
        at += std::uint32_t(t.body.size());
    }
    return out;
}

// Two fonts sharing the collection's data: face 0 has tables A and B, face 1 has C.
std::string Collection() {
    const std::vector<Table> first{{"cmap", "AAAAA"}, {"glyf", "BBB"}};
    const std::vector<Table> second{{"cmap", "CC"}};
    const std::uint32_t header = 12 + 8;
    const std::uint32_t dir0 = header;
    const std::uint32_t dir1 = dir0 + 12 + 16 * 2;
    const std::uint32_t data = dir1 + 12 + 16;
    return "ttcf" + U32(0x00010000) + U32(2) + U32(dir0) + U32(dir1) + Directory(first, data) +
           Directory(second, data + 8) + "AAAAABBB" + "CC";
}

// The bytes of a table as the extracted font's directory finds them.
std::string TableBody(const std::string& font, int index) {
    const std::size_t record = 12 + 16 * std::size_t(index);
    const auto offset = std::uint32_t(std::uint8_t(font[record + 8])) << 24 |
                        std::uint32_t(std::uint8_t(font[record + 9])) << 16 |
                        std::uint32_t(std::uint8_t(font[record + 10])) << 8 |
                        std::uint8_t(font[record + 11]);
    const auto length =
        std::uint32_t(std::uint8_t(font[record + 14])) << 8 | std::uint8_t(font[record + 15]);
    EXPECT_EQ(offset % 4, 0u);
    return font.substr(offset, length);
}

TEST(ExtractFontFace, TakesOneFontOfACollectionWithItsOwnTablesOnly) {
    std::string out;
    std::string error;
    ASSERT_TRUE(ExtractFontFace(Collection(), 0, out, error)) << error;
    EXPECT_EQ(TableBody(out, 0), "AAAAA");
    EXPECT_EQ(TableBody(out, 1), "BBB");
    ASSERT_TRUE(ExtractFontFace(Collection(), 1, out, error)) << error;
    EXPECT_EQ(TableBody(out, 0), "CC");
    EXPECT_EQ(out.find("AAAAA"), std::string::npos);
    // A plain font file extracts to a font with the same tables.
    const std::string plain = Directory({{"cmap", "XYZ"}}, 28) + "XYZ";
    ASSERT_TRUE(ExtractFontFace(plain, 0, out, error)) << error;
    EXPECT_EQ(TableBody(out, 0), "XYZ");
}

TEST(ExtractFontFace, RefusesWhatIsNotAFontOrPointsOutsideTheFile) {
    std::string overlong = Collection();
    overlong[12 + 8 + 12 + 15] = char(0x7F);  // face 0's first table grows past the end
    std::string farDirectory = Collection();
    farDirectory[12 + 4 + 1] = char(0x7F);  // face 1's directory far beyond the file
    const struct {
        std::string data;
        unsigned face;
    } cases[] = {
        {"", 0},
        {"not a font at all", 0},
        {Collection(), 2},
        {Collection().substr(0, 30), 0},
        {overlong, 0},
        {farDirectory, 1},
        {Directory({{"cmap", "XYZ"}}, 28) + "XYZ", 1},
    };
    for (const auto& c : cases) {
        std::string out = "untouched";
        std::string error;
        EXPECT_FALSE(ExtractFontFace(c.data, c.face, out, error)) << c.data.size() << "/" << c.face;
        EXPECT_FALSE(error.empty());
    }
}

TEST(FindChineseFont, NamesAReadableFileAndItsFamiliesWhenThereIsOne) {
    const FontFile font = FindChineseFont();
    if (font.path.empty()) {
        GTEST_SKIP() << "no font with Chinese characters on this system";
    }
    EXPECT_FALSE(font.families.empty());
    FILE* f = std::fopen(font.path.c_str(), "rb");
    ASSERT_NE(f, nullptr) << font.path;
    std::fclose(f);
}

}  // namespace
}  // namespace tavrin::platform
