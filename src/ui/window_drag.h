// Moving a frameless window by a press in its drag area.
#pragma once

class QWidget;

namespace tavrin::ui {

// Hands the drag that a press has just started to the window system, which moves `widget`'s
// window itself (the only way on Wayland, where programs cannot place windows). False where
// it cannot (X11 without a window manager): the caller then drags by hand.
bool StartSystemMove(QWidget* widget);

}  // namespace tavrin::ui
