// What the desktop can do for a window with per-pixel transparency.
#pragma once

namespace tavrin::ui {

// True when a compositing manager blends translucent windows with what lies behind them.
// Without one, translucent pixels come out black, so the window takes a hard-edged shape.
bool HasCompositor();

}  // namespace tavrin::ui
