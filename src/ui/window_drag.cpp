#include "ui/window_drag.h"

#include <QWidget>
#include <QWindow>

namespace tavrin::ui {

bool StartSystemMove(QWidget* widget) {
    QWindow* window = widget->window()->windowHandle();
    return window != nullptr && window->startSystemMove();
}

}  // namespace tavrin::ui
