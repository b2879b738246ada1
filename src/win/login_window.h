// The login window on Windows: the login picture as a cut-out layered window, and over it the
// control layer, a colour-keyed window of its own that carries the browser view and moves
// with the picture. A press on the picture, or in the layer's top band, drags both.
#pragma once

#include <windows.h>

#include <array>
#include <memory>

#include "flow/launcher_events.h"
#include "flow/login_rules.h"
#include "win/picture.h"
#include "win/redraw_button.h"
#include "win/web_engine.h"

namespace tavrin::win {

class LoginWindow {
public:
    // At `scale` (2 for 200 %), or at the system's when it is 0.
    LoginWindow(LauncherEvents& events, WebEngine& engine, double scale = 0);
    ~LoginWindow();
    LoginWindow(const LoginWindow&) = delete;
    LoginWindow& operator=(const LoginWindow&) = delete;

    // Makes both windows and the view; false when the picture or a window is missing.
    bool Create();
    // On the screen, in front; `inTaskBar` gives it its task-bar button (not while a game
    // window has one).
    void Show(bool inTaskBar);
    void Hide();

    HWND Window() const { return m_hwnd; }
    double Scale() const { return m_scale; }
    HWND Layer() const { return m_layer; }
    // Where the browser lies in the layer, in the layer's pixels.
    RECT ViewBounds() const;
    WebView* View() const { return m_view.get(); }
    CRedrawButton* Button(LoginButtonId id) const;

private:
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleLayer(UINT message, WPARAM wParam, LPARAM lParam);
    void DrawPicture();
    void PlaceLayer();
    bool CreateButtons();
    void PlaceButtons();
    // To the scale of the screen the window has moved to; `suggested` is its new place.
    void Rescale(double scale, const RECT& suggested);
    void Clicked(LoginButtonId id);

    LauncherEvents& m_events;
    WebEngine& m_engine;
    double m_scale;
    Picture m_picture;
    HWND m_hwnd = nullptr;
    HWND m_layer = nullptr;
    std::unique_ptr<WebView> m_view;
    std::array<std::unique_ptr<CRedrawButton>, kLoginButtons.size()> m_buttons;
};

}  // namespace tavrin::win
