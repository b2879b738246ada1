// The game window's frame: its pictures, drawn off-screen, and the drags that move and size
// it where no window manager does.
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <QtMath>

#include "ui/game_window.h"
#include "ui/window_drag.h"

namespace tavrin::ui {

namespace {

Qt::CursorShape CursorFor(HitCode code) {
    switch (code) {
        case HitCode::kLeft:
        case HitCode::kRight:
            return Qt::SizeHorCursor;
        case HitCode::kBottom:
        case HitCode::kTop:
            return Qt::SizeVerCursor;
        case HitCode::kTopLeft:
        case HitCode::kBottomRight:
            return Qt::SizeFDiagCursor;
        case HitCode::kTopRight:
        case HitCode::kBottomLeft:
            return Qt::SizeBDiagCursor;
        case HitCode::kClient:
            break;
    }
    return Qt::ArrowCursor;
}

Qt::Edges EdgesOf(const SizingEdges& e) {
    Qt::Edges edges;
    edges.setFlag(Qt::LeftEdge, e.left);
    edges.setFlag(Qt::TopEdge, e.top);
    edges.setFlag(Qt::RightEdge, e.right);
    edges.setFlag(Qt::BottomEdge, e.bottom);
    return edges;
}

}  // namespace

void CFlashPayer::LoadFrameBitmaps(qreal devicePixelRatio) {
    m_bmpTitle = LoadResourcePicture(kTitleStripBitmap, "bmp", devicePixelRatio);
    m_bmpBottom = LoadResourcePicture(kBottomBorderBitmap, "bmp", devicePixelRatio);
    m_bmpLeft = LoadResourcePicture(kLeftBorderBitmap, "bmp", devicePixelRatio);
    m_bmpRight = LoadResourcePicture(kRightBorderBitmap, "bmp", devicePixelRatio);
    m_bmpIcon = LoadResourcePicture(kIconBitmap, "bmp", devicePixelRatio);
    m_bitmapsForRatio = devicePixelRatio;
}

void CFlashPayer::paintEvent(QPaintEvent*) {
    // The window may have moved to a screen of another scale.
    const qreal ratio = devicePixelRatioF();
    if (!qFuzzyCompare(ratio, m_bitmapsForRatio)) {
        LoadFrameBitmaps(ratio);
    }
    // One off-screen frame, so that sizing does not flicker; the buttons draw their clear
    // pixels from it. It has the screen's resolution, so the finer pictures stay fine.
    QImage frame(QSize(qCeil(width() * ratio), qCeil(height() * ratio)), QImage::Format_RGB32);
    frame.setDevicePixelRatio(ratio);
    frame.fill(Qt::black);
    {
        QPainter p(&frame);
        for (const FramePiece& piece : FramePaintLayout({width(), height()})) {
            const QImage* bitmap = nullptr;
            switch (piece.bitmap) {
                case kTitleStripBitmap:
                    bitmap = &m_bmpTitle;
                    break;
                case kBottomBorderBitmap:
                    bitmap = &m_bmpBottom;
                    break;
                case kLeftBorderBitmap:
                    bitmap = &m_bmpLeft;
                    break;
                case kRightBorderBitmap:
                    bitmap = &m_bmpRight;
                    break;
                case kIconBitmap:
                    bitmap = &m_bmpIcon;
                    break;
            }
            if (bitmap != nullptr && !bitmap->isNull() && !piece.target.IsEmpty()) {
                DrawPicture(p, ToQRect(piece.target), *bitmap);
            }
        }
        QFont font;
        font.setFamilies({QString::fromUtf8(kTitleFontFace), QStringLiteral("Microsoft YaHei"),
                          QStringLiteral("Noto Sans CJK SC")});
        font.setPointSize(kTitleFontPointSize);
        p.setFont(font);
        p.setPen(QColor::fromRgb(kTitleTextColor));
        const QFontMetrics metrics(font);
        p.drawText(QPoint(kTitleTextOrigin.x, kTitleTextOrigin.y + metrics.ascent()),
                   QString::fromLocal8Bit(m_config.title));
    }
    for (const GameControlId id : kBackgroundCaptureOrder) {
        ButtonFor(id)->CaptureBackground(frame);
    }
    QPainter(this).drawImage(0, 0, frame);
}

void CFlashPayer::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (const auto edges =
            SizingEdgesFor(GameWindowHitTest({width(), height()}, {at.x(), at.y()}))) {
        // The window manager sizes the window where there is one; elsewhere we do.
        if (windowHandle() == nullptr || !windowHandle()->startSystemResize(EdgesOf(*edges))) {
            m_bSizing = true;
            m_sizingEdges = *edges;
            m_ptSizingStart = event->globalPosition().toPoint();
            m_rcSizingStart = geometry();
        }
        return;
    }
    if (InTitleDragBand(at.y()) && !StartSystemMove(this)) {
        m_bDragging = true;
        m_ptDragStart = at;
    }
    QWidget::mousePressEvent(event);
}

void CFlashPayer::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (m_bDragging) {
        move(pos() + at - m_ptDragStart);
    } else if (m_bSizing) {
        const QPoint d = event->globalPosition().toPoint() - m_ptSizingStart;
        const QRect& from = m_rcSizingStart;
        const Rect r =
            SizeFrameByDrag({from.left(), from.top(), from.right() + 1, from.bottom() + 1},
                            m_sizingEdges, {d.x(), d.y()}, GetTrackSizes(CurrentScreen()));
        setGeometry(ToQRect(r));
    } else if (event->buttons() == Qt::NoButton) {
        setCursor(CursorFor(GameWindowHitTest({width(), height()}, {at.x(), at.y()})));
    }
    QWidget::mouseMoveEvent(event);
}

void CFlashPayer::mouseReleaseEvent(QMouseEvent* event) {
    m_bDragging = false;
    m_bSizing = false;
    QWidget::mouseReleaseEvent(event);
}

}  // namespace tavrin::ui
