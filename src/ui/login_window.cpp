#include "ui/login_window.h"

#include <cstdio>

#include <QBitmap>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include "app/app_globals.h"
#include "app/diagnostics.h"
#include "ui/desktop_effects.h"
#include "ui/message_box.h"
#include "ui/redraw_button.h"
#include "ui/window_drag.h"

namespace tavrin::ui {

namespace {

// The window's shape: every pixel that shows something. Without a compositor the
// half-transparent edge would come out dark, so only the mostly opaque pixels count there.
QBitmap ShapeOf(const QImage& image, bool blended) {
    const int threshold = blended ? 1 : 128;
    QImage mask(image.size(), QImage::Format_MonoLSB);
    // In a bitmap black (color1) marks the pixels that belong to the shape.
    mask.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mask.fill(0);
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(row[x]) >= threshold) {
                mask.setPixel(x, y, 1);
            }
        }
    }
    return QBitmap::fromImage(mask);
}

}  // namespace

CTavrinDlg::CTavrinDlg(LauncherEvents& events)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      m_events(events),
      m_controlLayer(this, events) {
    setAttribute(Qt::WA_TranslucentBackground);
}

bool CTavrinDlg::OnInitDialog() {
    setWindowIcon(QIcon(QStringLiteral(":/res/128.png")));
    setWindowTitle(CaptionName());
    m_controlLayer.OnInitDialog();
    m_controlLayer.show();
    PlaceControlLayer();

    m_image = LoadPngResource(146);
    if (m_image.isNull()) {
        // The pictures are built into the program: without one, the program file itself is
        // damaged. Said, then the close handler runs the exit sequence.
        Diagnose("tavrin: picture 146 is missing from the program");
        ShowMessage(nullptr, tr("界面图片缺失，安装已损坏。\n请重新安装启动器。"),
                    MessageKind::kOk);
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return false;
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    move(screen != nullptr ? screen->geometry().topLeft() : QPoint(0, 0));
    setFixedSize(m_image.size());
    setMask(ShapeOf(m_image, HasCompositor()));
    return true;
}

void CTavrinDlg::PlaceControlLayer() {
    m_controlLayer.setGeometry(QRect(CControlLayerDlg::kOffset, CControlLayerDlg::kSize));
}

void CTavrinDlg::JoinedMove(const QRect& rect) {
    // The layer is part of this window, so one move carries both.
    move(rect.topLeft());
}

const QImage& CTavrinDlg::PictureForScreen() {
    if (devicePixelRatioF() <= 1.0) {
        return m_image;
    }
    if (m_sharpImage.isNull()) {
        m_sharpImage = LoadPngResource(146, devicePixelRatioF());
    }
    return m_sharpImage.isNull() ? m_image : m_sharpImage;
}

void CTavrinDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    DrawPicture(painter, QRectF(rect()), PictureForScreen());
}

void CTavrinDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !StartSystemMove(this)) {
        m_bDragging = true;
        m_ptDragStart = event->position().toPoint();
    }
    QWidget::mousePressEvent(event);
}

void CTavrinDlg::mouseMoveEvent(QMouseEvent* event) {
    if (m_bDragging) {
        const QPoint delta = event->position().toPoint() - m_ptDragStart;
        JoinedMove(QRect(pos() + delta, size()));
    }
    QWidget::mouseMoveEvent(event);
}

void CTavrinDlg::mouseReleaseEvent(QMouseEvent* event) {
    m_bDragging = false;
    QWidget::mouseReleaseEvent(event);
}

void CTavrinDlg::keyPressEvent(QKeyEvent* event) {
    // Enter and Escape never close the login window.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
        event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CTavrinDlg::closeEvent(QCloseEvent* event) {
    // Alt+F4, the system's close and a missing picture all end the whole program; the exit
    // sequence takes this window away itself.
    event->ignore();
    m_events.CloseRequested();
}

}  // namespace tavrin::ui
