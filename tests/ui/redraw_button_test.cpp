// The image button draws the picture of its state, and blends with a captured background.
#include "ui/redraw_button.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>

#include "ui_support.h"

namespace tavrin::ui {
namespace {

QImage Rendered(CRedrawButton& button) {
    return button.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage Picture(int id) {
    return LoadPngResource(id).convertToFormat(QImage::Format_RGB32);
}

void Send(CRedrawButton& button, QEvent::Type type, Qt::MouseButtons buttons) {
    const QPointF at(5, 5);
    QMouseEvent e(type, at, button.mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(&button, &e);
}

TEST(RedrawButton, DrawsThePictureOfItsState) {
    QWidget owner;
    CRedrawButton button(&owner);
    button.setFocusPolicy(Qt::NoFocus);
    button.SizeToImage();
    EXPECT_EQ(button.size(), Picture(155).size());
    EXPECT_EQ(Rendered(button), Picture(155));

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&button, &enter);
    EXPECT_EQ(button.CurrentState(), kStateHover);
    EXPECT_EQ(Rendered(button), Picture(154));

    Send(button, QEvent::MouseButtonPress, Qt::LeftButton);
    EXPECT_EQ(Rendered(button), Picture(150));

    button.setEnabled(false);  // disabled wins over hover and pressed
    EXPECT_EQ(Rendered(button), Picture(155));
    button.setEnabled(true);

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    EXPECT_EQ(button.m_bHover, 0);
    EXPECT_EQ(button.m_bPressed, 0);
    EXPECT_EQ(Rendered(button), Picture(155));
}

TEST(RedrawButton, TransparentPixelsShowTheCapturedBackground) {
    QWidget owner;
    owner.resize(100, 60);
    CRedrawButton button(&owner);
    button.m_nImage = {179, 179, 179, 179, 179};  // a title-strip picture with clear corners
    button.SizeToImage();
    button.move(10, 20);
    const QImage picture = LoadPngResource(179);
    QPoint clear(-1, -1);
    for (int y = 0; y < picture.height() && clear.x() < 0; ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (qAlpha(picture.pixel(x, y)) == 0) {
                clear = QPoint(x, y);
                break;
            }
        }
    }
    ASSERT_GE(clear.x(), 0) << "picture 179 has no transparent pixel";
    QImage frame(owner.size(), QImage::Format_RGB32);
    frame.fill(Qt::magenta);
    button.CaptureBackground(frame);
    EXPECT_EQ(Rendered(button).pixel(clear), QColor(Qt::magenta).rgb());
}

}  // namespace
}  // namespace tavrin::ui
