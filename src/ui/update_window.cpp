#include "ui/update_window.h"

#include <atomic>
#include <memory>
#include <optional>
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
#include "ui/message_box.h"
#include "ui/redraw_button.h"
#include "ui/window_drag.h"
#include "update/update_worker.h"

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

}  // namespace

CUpdateWnd::CUpdateWnd(UpdateProgress& progress, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_progress(progress) {
    setAttribute(Qt::WA_TranslucentBackground);
    // Closing it is a cancel, never the end of the program: the login window is still to come.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(kWindowSize);
    setWindowTitle(tr("%1 更新").arg(CaptionName()));
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
    m_shown =
        m_model.Read(m_progress.Read(), m_progress.Cancelled(), UpdateWindowModel::Clock::now());
    m_pStage->setText(QString::fromStdString(m_shown.stage));
    m_pDetail->setText(QString::fromStdString(m_shown.detail));
    update();
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
    const double part = m_shown.barPart;
    if (part > 0) {
        QRectF done(kBarRect);
        done.setWidth(done.width() * part);
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

void RunUpdateWithWindow(const std::function<void()>& check, UpdateProgress& progress,
                         std::chrono::milliseconds showAfter) {
    QEventLoop loop;
    std::atomic<bool> finished{false};
    // The loop ends as soon as the check does: a quick check costs the start nothing.
    std::optional<std::thread> worker = StartUpdateThread([&check, &finished, &loop] {
        check();
        finished = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    if (!worker) {
        return;
    }
    std::unique_ptr<CUpdateWnd> window;
    QTimer::singleShot(showAfter, &loop, [&] {
        if (!finished) {
            window = std::make_unique<CUpdateWnd>(progress);
            window->show();
            window->raise();
            window->activateWindow();
        }
    });
    // The worker's quit is queued for this loop even when the check ended before it ran.
    loop.exec();
    worker->join();
}

}  // namespace tavrin::ui
