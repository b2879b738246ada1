// CRedrawButton: a push button drawn entirely from five pictures (normal, hover, pressed,
// focused, disabled), with a hand cursor, and able to blend with an owner that paints its
// own frame (the owner hands it a copy of that frame with CaptureBackground).
#pragma once

#include <array>

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QRectF>

#include "flow/button_state.h"

class QPainter;

namespace tavrin::ui {

// The picture stored in the program's resources as ":/res/<id>.<extension>"; a null image
// when there is none. For a screen scaled above 100 % (a device pixel ratio over 1) it is the
// one drawn at twice the size, "<id>@2x.<extension>", where there is one; it carries its
// device pixel ratio, so that it measures as the normal one in logical pixels.
QImage LoadResourcePicture(int id, const char* extension, qreal devicePixelRatio = 1.0);
// The same for ":/res/<id>.png".
QImage LoadPngResource(int id, qreal devicePixelRatio = 1.0);
// Draws `picture` over `target` (logical pixels), smoothly where its pixels are not the
// screen's: Qt's default rounding passes ratios such as 1.5 through, and nearest-pixel
// scaling would then drop rows and columns of the finer picture.
void DrawPicture(QPainter& painter, const QRectF& target, const QImage& picture);

class CRedrawButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit CRedrawButton(QWidget* parent = nullptr);

    // Resizes the button to its normal picture; the position stays.
    void SizeToImage();
    // Keeps a copy of the owner's painted client area, drawn under every picture.
    void CaptureBackground(const QImage& ownerFrame);

    // What the next paint shows, for the owner's decisions and for tests.
    ButtonState CurrentState() const;

    QImage m_bkDC;  // the owner's painted client area; null until the first capture
    QFont m_font;
    bool m_bDrawCaption = false;
    std::array<QColor, kButtonStateCount> m_clrText;
    ButtonImages m_nImage = kDefaultButtonImages;
    int m_bHover = 0;
    int m_bPressed = 0;
    int m_bFocused = 0;
    int m_bDisabled = 0;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    QSize sizeHint() const override;
};

}  // namespace tavrin::ui
