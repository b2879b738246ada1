#include "ui/redraw_button.h"

#include <QMouseEvent>
#include <QPainter>

namespace tavrin::ui {

QImage LoadResourcePicture(int id, const char* extension, qreal devicePixelRatio) {
    const QString ext = QString::fromLatin1(extension);
    if (devicePixelRatio > 1.0) {
        QImage sharp(QStringLiteral(":/res/%1@2x.%2").arg(id).arg(ext));
        if (!sharp.isNull()) {
            sharp.setDevicePixelRatio(2.0);
            return sharp;
        }
    }
    return QImage(QStringLiteral(":/res/%1.%2").arg(id).arg(ext));
}

QImage LoadPngResource(int id, qreal devicePixelRatio) {
    return LoadResourcePicture(id, "png", devicePixelRatio);
}

void DrawPicture(QPainter& painter, const QRectF& target, const QImage& picture) {
    const qreal screenRatio = painter.device()->devicePixelRatioF();
    painter.setRenderHint(QPainter::SmoothPixmapTransform,
                          !qFuzzyCompare(picture.devicePixelRatio(), screenRatio));
    painter.drawImage(target, picture);
}

CRedrawButton::CRedrawButton(QWidget* parent)
    : QAbstractButton(parent),
      m_clrText{QColor(0x00, 0x53, 0x7F), QColor(0x00, 0x53, 0x7F), QColor(0xFF, 0xFF, 0xFF),
                QColor(0x00, 0x53, 0x7F), QColor(0x80, 0x80, 0x80)} {
    m_font.setFamilies(
        {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Sans CJK SC")});
    m_font.setPixelSize(12);
    setCursor(Qt::PointingHandCursor);
    // Every pixel is ours: the picture, or the captured background under it.
    setAttribute(Qt::WA_NoSystemBackground);
}

void CRedrawButton::SizeToImage() {
    const QImage image = LoadPngResource(m_nImage[kStateNormal]);
    if (!image.isNull()) {
        resize(image.size());
    }
}

void CRedrawButton::CaptureBackground(const QImage& ownerFrame) {
    m_bkDC = ownerFrame;
}

ButtonState CRedrawButton::CurrentState() const {
    ButtonFlags flags;
    flags.hover = m_bHover != 0;
    flags.pressed = m_bPressed != 0;
    // A button held down (selected) counts as focused, as a focused one does.
    flags.focused = hasFocus() || isDown();
    flags.disabled = !isEnabled();
    return ChooseButtonState(flags);
}

void CRedrawButton::paintEvent(QPaintEvent*) {
    // The control's own state is taken at each draw; the pointer flags follow the mouse.
    m_bFocused = hasFocus() || isDown() ? 1 : 0;
    m_bDisabled = isEnabled() ? 0 : 1;
    const ButtonState state = CurrentState();

    QPainter painter(this);
    if (!m_bkDC.isNull()) {
        // Each draw starts from the owner's frame, so a picture with other transparent
        // areas than the previous one leaves no trace of it. The frame is painted at the
        // screen's resolution: the part under the button is found in its own pixels.
        const qreal ratio = m_bkDC.devicePixelRatio();
        painter.drawImage(QRectF(rect()), m_bkDC,
                          QRectF(QPointF(geometry().topLeft()) * ratio, QSizeF(size()) * ratio));
    }
    // Decoded at every draw, as the pictures are small and drawn rarely.
    const QImage image = LoadPngResource(m_nImage[state], devicePixelRatioF());
    if (!image.isNull()) {
        DrawPicture(painter, QRectF(QPointF(0, 0), image.deviceIndependentSize()), image);
    }
    if (m_bDrawCaption) {
        painter.setFont(m_font);
        painter.setPen(m_clrText[state]);
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
    }
}

void CRedrawButton::enterEvent(QEnterEvent* event) {
    m_bHover = 1;
    update();
    QAbstractButton::enterEvent(event);
}

void CRedrawButton::leaveEvent(QEvent* event) {
    m_bHover = 0;
    m_bPressed = 0;
    update();
    QAbstractButton::leaveEvent(event);
}

void CRedrawButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_bPressed = 1;
    }
    QAbstractButton::mousePressEvent(event);
}

void CRedrawButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_bPressed = 0;
    }
    QAbstractButton::mouseReleaseEvent(event);
}

QSize CRedrawButton::sizeHint() const {
    const QImage image = LoadPngResource(m_nImage[kStateNormal]);
    return image.isNull() ? QSize(16, 16) : image.size();
}

}  // namespace tavrin::ui
