#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace tavrin::platform {
namespace {

TEST(GbkCharLength, StepsOverTrailBytesThatLookLikeSeparators) {
    // 0xD5 0x5C is one GBK character whose second byte has the value of '\'.
    const std::string s =
        "a\xD5\x5C"
        "b\\\x81";
    const std::size_t expected[] = {1, 2, 0, 1, 1, 1};
    for (std::size_t i : {0u, 1u, 3u, 4u, 5u}) {
        EXPECT_EQ(GbkCharLength(s, i), expected[i]) << i;
    }
}

TEST(Gb18030CharLength, KnowsTheFourByteForm) {
    const std::string s =
        "\x81\x30\x81\x30"
        "\x81\x5C"
        "x";
    EXPECT_EQ(Gb18030CharLength(s, 0), 4u);
    EXPECT_EQ(Gb18030CharLength(s, 4), 2u);
    EXPECT_EQ(Gb18030CharLength(s, 6), 1u);
    EXPECT_EQ(Gb18030CharLength(std::string("\x81\x30"), 0), 2u);  // cut short
}

}  // namespace
}  // namespace tavrin::platform

namespace tavrin {
namespace {

TEST(FindMbChar, FindsAsciiCharacters) {
    EXPECT_EQ(platform::FindFirstMbChar("a/b/c", '/'), 1u);
    EXPECT_EQ(platform::FindLastMbChar("a/b/c", '/'), 3u);
    EXPECT_EQ(platform::FindLastMbChar("abc", '/'), std::string::npos);
    EXPECT_EQ(platform::FindLastMbChar("", '/'), std::string::npos);
    EXPECT_EQ(platform::FindMbString("http://h/verify.php?x", "verify.php"), 9u);
    EXPECT_EQ(platform::FindMbString("abc", "abcd"), std::string::npos);
}

}  // namespace
}  // namespace tavrin
