// What the update window says: sizes as download tools count them, the stage, and a speed and
// time left from the last seconds' bytes.
#include "flow/update_window_text.h"

#include <gtest/gtest.h>

namespace tavrin {
namespace {

TEST(FormatBytes, KilobytesMegabytesAndGigabytes) {
    const struct {
        std::int64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 KB"},
        {1536, "2 KB"},
        {1024 * 1024 - 1, "1024 KB"},
        {1024 * 1024, "1.0 MB"},
        {std::int64_t{5} * 1024 * 1024 + 512 * 1024, "5.5 MB"},
        {std::int64_t{3} << 30, "3.00 GB"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatBytes(c.bytes), c.text) << c.bytes;
    }
}

TEST(UpdateWindowModel, StagesBytesSpeedAndTimeLeft) {
    using namespace std::chrono_literals;
    UpdateWindowModel model;
    const auto t0 = UpdateWindowModel::Clock::now();
    UpdateWindowText shown = model.Read({UpdateStage::kChecking, 0, 0, 0}, false, t0);
    EXPECT_EQ(shown.stage, "正在检查更新…");
    EXPECT_EQ(shown.detail, "");
    EXPECT_EQ(shown.barPart, 0);

    // One MiB a second over two seconds, 6 MiB still to come: six seconds left.
    const std::int64_t mib = 1024 * 1024;
    model.Read({UpdateStage::kDownloadingLauncher, 34, 0, 8 * mib}, false, t0);
    shown = model.Read({UpdateStage::kDownloadingLauncher, 34, 2 * mib, 8 * mib}, false, t0 + 2s);
    EXPECT_EQ(shown.stage, "正在下载新版启动器（版本 34）…");
    EXPECT_EQ(shown.detail, "2.0 MB / 8.0 MB   1.0 MB/秒   剩余 0:06");
    EXPECT_DOUBLE_EQ(shown.barPart, 0.25);

    // Another package starts its own count; a size not known yet gives bytes alone.
    shown = model.Read({UpdateStage::kDownloadingUpdater, 34, 1536, 0}, false, t0 + 3s);
    EXPECT_EQ(shown.detail, "2 KB");
    EXPECT_EQ(shown.barPart, 0);
    shown = model.Read({UpdateStage::kUnpacking, 34, 0, 0}, false, t0 + 4s);
    EXPECT_EQ(shown.stage, "正在解压更新…");
    EXPECT_EQ(shown.barPart, 1.0);
    EXPECT_EQ(model.Read({UpdateStage::kUnpacking, 34, 0, 0}, true, t0 + 5s).stage,
              "正在取消更新…");
}

}  // namespace
}  // namespace tavrin
