// CRedrawButton on Windows: an image button drawn from five pictures (normal, hover, pressed,
// focused, disabled) over a copy of what lies under it, so that its soft edges blend with the
// window's own picture. It reports a click when the left button goes up over it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "flow/button_state.h"
#include "win/picture.h"

namespace tavrin::win {

class CRedrawButton {
public:
    // A button on `parent` at (x, y), sized to its normal picture, named `name` (UTF-8) for
    // screen readers; `clicked` runs on a click.
    // At `scale` (2 for 200 %): the pictures at the screen's pixels.
    CRedrawButton(const ButtonImages& images, std::function<void()> clicked, double scale = 1.0);
    ~CRedrawButton();
    CRedrawButton(const CRedrawButton&) = delete;
    CRedrawButton& operator=(const CRedrawButton&) = delete;

    bool Create(HWND parent, int x, int y, const std::string& name);
    // The pictures for another screen scale; the button takes their size where it is.
    void SetScale(double scale);
    // What lies under the button: its pictures are drawn over these pixels.
    void SetBackground(Picture under) { m_bkDC = std::move(under); }

    HWND Window() const { return m_hwnd; }
    int Width() const { return m_pictures[kStateNormal].width; }
    int Height() const { return m_pictures[kStateNormal].height; }
    // What the next paint shows, for tests.
    ButtonState CurrentState() const;

    int m_bHover = 0;
    int m_bPressed = 0;

private:
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();
    bool Inside(LPARAM lParam) const;

    const ButtonImages m_images;
    std::array<Picture, kButtonStateCount> m_pictures;
    Picture m_bkDC;
    std::function<void()> m_clicked;
    HWND m_hwnd = nullptr;
};

// The pixels of `picture` in the rectangle at (x, y) of the given size; transparent where the
// rectangle leaves the picture.
Picture CutPicture(const Picture& picture, int x, int y, int width, int height);

}  // namespace tavrin::win
