#include "ui/update_window.h"

#include <atomic>
#include <exception>
#include <memory>
#include <thread>

#include <QEventLoop>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include "app/app_globals.h"
#include "app/diagnostics.h"
#include "ui/login_window.h"
#include "ui/redraw_button.h"

namespace tavrin::ui {

namespace {

constexpr QSize kWindowSize(400, 150);
constexpr QRect kBarRect(84, 84, 296, 10);
// The launcher's title-strip colours, so the window reads as part of it.
const QColor kTop(92, 58, 34);
const QColor kBottom(34, 20, 11);
const QColor kBorder(140, 96, 58);
const QColor kOrange(255, 138, 20);
constexpr int kIconId = 128;
// Long enough to smooth a bursty connection, short enough to follow a change.
constexpr std::chrono::seconds kSpeedWindow(3);

QString Duration(double seconds) {
    const auto whole = static_cast<long long>(seconds + 0.5);
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

QString FormatBytes(std::int64_t bytes) {
    constexpr double kMiB = 1024.0 * 1024.0;
    if (bytes < 1024 * 1024) {
        return QStringLiteral("%1 KB").arg(static_cast<double>(bytes) / 1024.0, 0, 'f', 0);
    }
    if (bytes < std::int64_t{1024} * 1024 * 1024) {
        return QStringLiteral("%1 MB").arg(static_cast<double>(bytes) / kMiB, 0, 'f', 1);
    }
    return QStringLiteral("%1 GB").arg(static_cast<double>(bytes) / (kMiB * 1024.0), 0, 'f', 2);
}

CUpdateWnd::CUpdateWnd(UpdateProgress& progress, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_progress(progress) {
    setAttribute(Qt::WA_TranslucentBackground);
    // Closing it is a cancel, never the end of the program: the login window is still to come.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(kWindowSize);
    setWindowTitle(tr("%1 更新").arg(QString::fromLocal8Bit(g_strBaseName)));
    m_pStage = new QLabel(this);
    m_pStage->setGeometry(84, 52, 296, 24);
    m_pStage->setStyleSheet(QStringLiteral("color: #fff3e0; font-size: 14px;"));
    m_pDetail = new QLabel(this);
    m_pDetail->setGeometry(84, 96, 296, 20);
    m_pDetail->setStyleSheet(QStringLiteral("color: #e0c8a8; font-size: 12px;"));
    m_pCancel = new QPushButton(tr("取消"), this);
    m_pCancel->setObjectName(QStringLiteral("cancel"));
    m_pCancel->setGeometry(300, 118, 80, 24);
    m_pCancel->setCursor(Qt::PointingHandCursor);
    m_pCancel->setStyleSheet(QStringLiteral(
        "QPushButton { color: #fff3e0; background: #5c3a22; border: 1px solid #ff8a14;"
        " border-radius: 4px; }"
        "QPushButton:hover { background: #7a4c2a; }"
        "QPushButton:disabled { color: #9a8470; border-color: #6a5040; }"));
    connect(m_pCancel, &QPushButton::clicked, this, &CUpdateWnd::OnCancel);
    connect(&m_refresh, &QTimer::timeout, this, &CUpdateWnd::Refresh);
    m_refresh.start(100);
    Refresh();
}

QString CUpdateWnd::StageText() const {
    return m_pStage->text();
}

QString CUpdateWnd::DetailText() const {
    return m_pDetail->text();
}

void CUpdateWnd::Refresh() {
    const UpdateProgressSnapshot now = m_progress.Read();
    const auto at = std::chrono::steady_clock::now();
    if (now.stage != m_shown.stage || now.received < m_shown.received) {
        m_samples.clear();  // another package: its own speed
    }
    m_samples.push_back({at, now.received});
    while (m_samples.size() > 2 && at - m_samples.front().at > kSpeedWindow) {
        m_samples.pop_front();
    }
    m_shown = now;
    const QString version = QString::number(now.offeredVersion);
    if (m_progress.Cancelled()) {
        m_pStage->setText(tr("正在取消更新…"));
    } else if (now.stage == UpdateStage::kChecking) {
        m_pStage->setText(tr("正在检查更新…"));
    } else if (now.stage == UpdateStage::kDownloadingUpdater) {
        m_pStage->setText(tr("正在下载更新程序（版本 %1）…").arg(version));
    } else if (now.stage == UpdateStage::kDownloadingLauncher) {
        m_pStage->setText(tr("正在下载新版启动器（版本 %1）…").arg(version));
    } else {
        m_pStage->setText(tr("正在解压更新…"));
    }
    QString detail;
    const bool downloading = now.stage == UpdateStage::kDownloadingUpdater ||
                             now.stage == UpdateStage::kDownloadingLauncher;
    if (downloading) {
        const double speed = Speed();
        detail = now.total > 0
                     ? FormatBytes(now.received) + QStringLiteral(" / ") + FormatBytes(now.total)
                     : FormatBytes(now.received);
        if (speed > 0) {
            detail +=
                QStringLiteral("   ") + FormatBytes(static_cast<std::int64_t>(speed)) + tr("/秒");
            if (now.total > now.received) {
                detail += QStringLiteral("   ") +
                          tr("剩余 %1").arg(
                              Duration(static_cast<double>(now.total - now.received) / speed));
            }
        }
    }
    m_pDetail->setText(detail);
    update();
}

double CUpdateWnd::Speed() const {
    if (m_samples.size() < 2) {
        return 0;
    }
    const double seconds =
        std::chrono::duration<double>(m_samples.back().at - m_samples.front().at).count();
    const auto bytes = m_samples.back().received - m_samples.front().received;
    return seconds > 0 ? static_cast<double>(bytes) / seconds : 0;
}

void CUpdateWnd::OnCancel() {
    m_progress.Cancel();
    m_pCancel->setEnabled(false);
    Refresh();
}

void CUpdateWnd::closeEvent(QCloseEvent* event) {
    OnCancel();
    QWidget::closeEvent(event);
}

void CUpdateWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath frame;
    frame.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    QLinearGradient fill(0, 0, 0, height());
    fill.setColorAt(0, kTop);
    fill.setColorAt(1, kBottom);
    painter.fillPath(frame, fill);
    painter.setPen(QPen(kBorder, 1));
    painter.drawPath(frame);
    painter.fillRect(QRect(16, 40, width() - 32, 2), kOrange);

    painter.drawImage(QRect(16, 56, 56, 56), LoadPngResource(kIconId));
    QFont title = font();
    title.setPixelSize(15);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(QColor(255, 243, 224));
    painter.drawText(QRect(16, 10, width() - 32, 26), Qt::AlignVCenter | Qt::AlignLeft,
                     windowTitle());

    // The bar: a dark track, filled in orange as far as the package has come.
    QPainterPath track;
    track.addRoundedRect(kBarRect, 5, 5);
    painter.fillPath(track, QColor(20, 12, 6));
    const bool sized = m_shown.total > 0 && (m_shown.stage == UpdateStage::kDownloadingUpdater ||
                                             m_shown.stage == UpdateStage::kDownloadingLauncher);
    const double part =
        m_shown.stage == UpdateStage::kUnpacking
            ? 1.0
            : (sized ? static_cast<double>(m_shown.received) / static_cast<double>(m_shown.total)
                     : 0.0);
    if (part > 0) {
        QRectF done(kBarRect);
        done.setWidth(done.width() * std::min(part, 1.0));
        QPainterPath filled;
        filled.addRoundedRect(done, 5, 5);
        QLinearGradient orange(0, kBarRect.top(), 0, kBarRect.bottom());
        orange.setColorAt(0, QColor(255, 178, 80));
        orange.setColorAt(1, kOrange);
        painter.fillPath(filled, orange);
    }
}

void CUpdateWnd::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || StartSystemMove(this)) {
        return;
    }
    m_bDragging = true;
    m_ptDragStart = event->position().toPoint();
}

void CUpdateWnd::mouseMoveEvent(QMouseEvent* event) {
    if (m_bDragging) {
        move(pos() + event->position().toPoint() - m_ptDragStart);
    }
}

void CUpdateWnd::mouseReleaseEvent(QMouseEvent*) {
    m_bDragging = false;
}

void RunUpdateWithWindow(CUpdate& update, int& handedOver, std::chrono::milliseconds showAfter) {
    QEventLoop loop;
    std::atomic<bool> finished{false};
    std::thread worker;
    try {
        // The loop ends as soon as the check does: a quick check costs the start nothing.
        worker = std::thread([&update, &handedOver, &finished, &loop] {
            UpdateThreadProc(&update, handedOver);
            finished = true;
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
    } catch (const std::exception& e) {
        Diagnose("tavrin: the update check could not start (%s); going on without it", e.what());
        return;
    }
    std::unique_ptr<CUpdateWnd> window;
    QTimer::singleShot(showAfter, &loop, [&] {
        if (!finished) {
            window = std::make_unique<CUpdateWnd>(update.m_progress);
            window->show();
            window->raise();
            window->activateWindow();
        }
    });
    // The worker's quit is queued for this loop even when the check ended before it ran.
    loop.exec();
    worker.join();
}

}  // namespace tavrin::ui
