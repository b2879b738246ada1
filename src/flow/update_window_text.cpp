#include "flow/update_window_text.h"

#include <algorithm>
#include <cstdio>

namespace tavrin {

namespace {

// Long enough to smooth a bursty connection, short enough to follow a change.
constexpr std::chrono::seconds kSpeedWindow(3);

std::string Printed(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Duration(double seconds) {
    const auto whole = static_cast<long long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    return text;
}

bool Downloading(UpdateStage stage) {
    return stage == UpdateStage::kDownloadingUpdater || stage == UpdateStage::kDownloadingLauncher;
}

std::string StageText(const UpdateProgressSnapshot& now, bool cancelled) {
    const std::string version = std::to_string(now.offeredVersion);
    if (cancelled) {
        return "正在取消更新…";
    }
    switch (now.stage) {
        case UpdateStage::kChecking:
            return "正在检查更新…";
        case UpdateStage::kDownloadingUpdater:
            return "正在下载更新程序（版本 " + version + "）…";
        case UpdateStage::kDownloadingLauncher:
            return "正在下载新版启动器（版本 " + version + "）…";
        default:
            return "正在解压更新…";
    }
}

}  // namespace

std::string FormatBytes(std::int64_t bytes) {
    constexpr double kMiB = 1024.0 * 1024.0;
    const auto value = static_cast<double>(bytes);
    if (bytes < 1024 * 1024) {
        return Printed("%.0f KB", value / 1024.0);
    }
    if (bytes < std::int64_t{1024} * 1024 * 1024) {
        return Printed("%.1f MB", value / kMiB);
    }
    return Printed("%.2f GB", value / (kMiB * 1024.0));
}

UpdateWindowText UpdateWindowModel::Read(const UpdateProgressSnapshot& now, bool cancelled,
                                         Clock::time_point at) {
    if (now.stage != m_shown.stage || now.received < m_shown.received) {
        m_samples.clear();  // another package: its own speed
    }
    m_samples.push_back({at, now.received});
    while (m_samples.size() > 2 && at - m_samples.front().at > kSpeedWindow) {
        m_samples.pop_front();
    }
    m_shown = now;
    UpdateWindowText text;
    text.stage = StageText(now, cancelled);
    if (now.stage == UpdateStage::kUnpacking) {
        text.barPart = 1.0;
    }
    if (!Downloading(now.stage)) {
        return text;
    }
    if (now.total > 0) {
        text.barPart =
            std::min(1.0, static_cast<double>(now.received) / static_cast<double>(now.total));
        text.detail = FormatBytes(now.received) + " / " + FormatBytes(now.total);
    } else {
        text.detail = FormatBytes(now.received);
    }
    const double speed = Speed();
    if (speed > 0) {
        text.detail += "   " + FormatBytes(static_cast<std::int64_t>(speed)) + "/秒";
        if (now.total > now.received) {
            text.detail +=
                "   剩余 " + Duration(static_cast<double>(now.total - now.received) / speed);
        }
    }
    return text;
}

double UpdateWindowModel::Speed() const {
    if (m_samples.size() < 2) {
        return 0;
    }
    const double seconds =
        std::chrono::duration<double>(m_samples.back().at - m_samples.front().at).count();
    const auto bytes = m_samples.back().received - m_samples.front().received;
    return seconds > 0 ? static_cast<double>(bytes) / seconds : 0;
}

}  // namespace tavrin
