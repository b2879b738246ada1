#include "flow/flash_protocol.h"

#include <gtest/gtest.h>

#include "platform/memory_status.h"

namespace tavrin {
namespace {

TEST(BuildFlashRequest, EscapesOnlyAnglesInArgumentsAndNothingInTheName) {
    EXPECT_EQ(BuildFlashRequest("stageResize", {}),
              "<invoke name=\"stageResize\" returntype=\"xml\"><arguments></arguments></invoke>");
    EXPECT_EQ(BuildFlashRequest("f", {"a<b>&c", "\"q\""}),
              "<invoke name=\"f\" returntype=\"xml\"><arguments><string>a&lt;b&gt;&c</string>"
              "<string>\"q\"</string></arguments></invoke>");
    EXPECT_EQ(BuildFlashRequest("a\"b", {}),
              "<invoke name=\"a\"b\" returntype=\"xml\"><arguments></arguments></invoke>");
}

TEST(FlashRequestName, ReadsTheRootsNameAttribute) {
    const struct {
        const char* request;
        const char* name;
    } cases[] = {
        {"<invoke name=\"GetSysMem\" returntype=\"xml\"><arguments></arguments></invoke>",
         "GetSysMem"},
        {"<invoke name=\"getsysmem\" returntype=\"xml\"/>", "getsysmem"},
        {"<invoke returntype=\"xml\"/>", ""},
        {"", ""},
        {"not xml", ""},
        {"<invoke name=\"x\">", ""},  // broken: no root to trust
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FlashRequestName(c.request), c.name) << c.request;
    }
}

TEST(FormatSysMemReply, WholeMebibytesTruncated) {
    constexpr std::uint64_t kMiB = 1 << 20;
    EXPECT_EQ(FormatSysMemReply(8192 * kMiB, 3072 * kMiB), "<string>8192,3072</string>");
    EXPECT_EQ(FormatSysMemReply(4096 * kMiB, 4096 * kMiB - 1), "<string>4096,4095</string>");
    EXPECT_EQ(FormatSysMemReply(0, 0), "<string>0,0</string>");
}

TEST(IsFlashVersionSupported, From11Point5On) {
    EXPECT_FALSE(IsFlashVersionSupported(0));
    EXPECT_FALSE(IsFlashVersionSupported(0x000B04FF));
    EXPECT_TRUE(IsFlashVersionSupported(0x000B0500));
    EXPECT_TRUE(IsFlashVersionSupported(32 << 16));
    EXPECT_FALSE(IsFlashVersionSupported(-1));
}

TEST(ReadMemoryStatus, ReportsThisMachinesMemory) {
    platform::MemoryStatus status;
    ASSERT_TRUE(platform::ReadMemoryStatus(status));
    EXPECT_GT(status.totalBytes, 64u << 20);
    EXPECT_GT(status.availableBytes, 0u);
    EXPECT_LE(status.availableBytes, status.totalBytes);
}

}  // namespace
}  // namespace tavrin
