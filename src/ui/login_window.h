// CTavrinDlg: the login window. Its whole look is one picture with per-pixel transparency;
// the control layer lies over the picture's screen area and moves, shows and hides with it.
#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>

#include "flow/launcher_events.h"
#include "ui/control_layer.h"

namespace tavrin::ui {

class CTavrinDlg : public QWidget {
    Q_OBJECT

public:
    // The window and its layer report what the player and the pages do to `events`.
    explicit CTavrinDlg(LauncherEvents& events);

    // Sets the window up; false when its picture is missing (the window then closes, which
    // ends the program).
    bool OnInitDialog();
    // Puts the control layer at its offset from the window's corner.
    void PlaceControlLayer();
    // Moves the window (and the layer with it) so that its corner is at rect's top-left.
    void JoinedMove(const QRect& rect);

    CControlLayerDlg& ControlLayer() { return m_controlLayer; }

    bool m_bDragging = false;
    QPoint m_ptDragStart;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The picture for the screen the window is on: the finer one above 100 %.
    const QImage& PictureForScreen();

    QImage m_image;       // the normal picture: size, shape
    QImage m_sharpImage;  // drawn at twice the size; loaded when a scaled screen first needs it
    LauncherEvents& m_events;
    CControlLayerDlg m_controlLayer;
};

}  // namespace tavrin::ui
