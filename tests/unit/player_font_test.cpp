#include "game/player_font.h"

#include <gtest/gtest.h>
#include <hb-ot.h>
#include <hb.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/file_system.h"
#include "support/temp_dir.h"

namespace tavrin {
namespace {

// The system's Chinese font, else the one TAVRIN_TEST_CHINESE_FONT names ("PATH|FACE": the
// Windows lane's system has none), else a skip: the subset is cut from a real one.
platform::FontFile ChineseFontForTest() {
    platform::FontFile font = platform::FindChineseFont();
    const char* named = std::getenv("TAVRIN_TEST_CHINESE_FONT");
    if (font.path.empty() && named != nullptr) {
        const std::string text = named;
        const std::size_t bar = text.find('|');
        font.path = text.substr(0, bar);
        font.face = bar == std::string::npos ? 0 : unsigned(std::stoul(text.substr(bar + 1)));
    }
    return font;
}

#define REQUIRE_CHINESE_FONT(font)                                        \
    const platform::FontFile font = ChineseFontForTest();                 \
    if (font.path.empty()) {                                              \
        GTEST_SKIP() << "no font with Chinese characters on this system"; \
    }

struct ReadFace {
    explicit ReadFace(const std::string& bytes, unsigned index = 0) {
        hb_blob_t* blob = hb_blob_create(bytes.data(), unsigned(bytes.size()),
                                         HB_MEMORY_MODE_READONLY, nullptr, nullptr);
        face = hb_face_create(blob, index);
        hb_blob_destroy(blob);
        hb_face_collect_unicodes(face, unicodes);
    }
    ~ReadFace() {
        hb_set_destroy(unicodes);
        hb_face_destroy(face);
    }
    std::string FullName() const {
        char name[256] = "";
        unsigned size = sizeof name;
        hb_ot_name_get_utf8(face, HB_OT_NAME_ID_FULL_NAME, HB_LANGUAGE_INVALID, &size, name);
        return name;
    }
    hb_face_t* face = nullptr;
    hb_set_t* unicodes = hb_set_create();
};

TEST(SubsetForChineseText, KeepsTheCharactersOfChineseTextAndTheNamesOnly) {
    REQUIRE_CHINESE_FONT(font);
    std::string file;
    ASSERT_TRUE(platform::ReadWholeFile(font.path, file));
    std::string subset;
    std::string error;
    ASSERT_TRUE(SubsetForChineseText(file, font.face, subset, error)) << error;
    const ReadFace whole(file, font.face);
    const ReadFace cut(subset);
    EXPECT_LT(subset.size(), file.size() / 2);
    EXPECT_EQ(cut.FullName(), whole.FullName());
    const struct {
        hb_codepoint_t character;
        bool kept;
    } cases[] = {
        {'A', true},     {0x00E9, true},  // é
        {0x4E2D, true},                   // 中
        {0xFF0C, true},                   // full-width comma
        {0x2605, true},                   // ★
        {0x3042, true},                   // あ
        {0xAC00, false},                  // 가: Korean is not Chinese text
    };
    for (const auto& c : cases) {
        if (hb_set_has(whole.unicodes, c.character)) {
            EXPECT_EQ(hb_set_has(cut.unicodes, c.character), c.kept) << std::hex << c.character;
        }
    }
}

TEST(SubsetForChineseText, RefusesWhatIsNotAFontOrAFaceItHasNot) {
    REQUIRE_CHINESE_FONT(font);
    std::string file;
    ASSERT_TRUE(platform::ReadWholeFile(font.path, file));
    const struct {
        std::string data;
        unsigned face;
    } cases[] = {{"", 0}, {"not a font at all, not at all", 0}, {file, 999}};
    for (const auto& c : cases) {
        std::string out;
        std::string error;
        EXPECT_FALSE(SubsetForChineseText(c.data, c.face, out, error)) << c.face;
        EXPECT_FALSE(error.empty());
    }
}

TEST(PlayerFontBytes, MadeOnceThenReadFromTheCacheWhichMendsItself) {
    REQUIRE_CHINESE_FONT(font);
    test::TempDir cache;
    cache.Write("chinese-0000000000000000.otf", "a subset of a font that is gone");
    const std::string made = PlayerFontBytes(font, cache.Path());
    ASSERT_FALSE(made.empty());
    const auto entries = platform::ListDirectory(cache.Path());
    ASSERT_EQ(entries.size(), 1u);  // the old subset went, no partial file stayed
    const std::string cached = cache.Path() + entries[0].name;
    const std::string kept = test::ReadFile(cached);
    ASSERT_EQ(kept.compare(0, made.size(), made), 0);

    // What was kept is used (laid out anew as it is read); anything else there (zeroed past
    // its first bytes, cut short, garbage) is made again, whole.
    const std::string fromCache = PlayerFontBytes(font, cache.Path());
    ASSERT_FALSE(fromCache.empty());
    std::string zeroed = kept;
    std::fill(zeroed.begin() + 400, zeroed.end() - 40, '\0');
    for (const std::string& stored :
         {kept, zeroed, kept.substr(0, kept.size() / 2), std::string("garbage")}) {
        cache.Write(entries[0].name, stored);
        const std::string bytes = PlayerFontBytes(font, cache.Path());
        EXPECT_TRUE(bytes == (stored == kept ? fromCache : made)) << stored.size();
        EXPECT_TRUE(test::ReadFile(cached) == kept) << stored.size();
    }
    // Without a cache it is made all the same.
    EXPECT_EQ(PlayerFontBytes(font, ""), made);
}

}  // namespace
}  // namespace tavrin
