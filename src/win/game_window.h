// The game window on Windows: a frame of its own (title strip with icon, title and five image
// buttons, thin borders) drawn from the shared paint layout, around the player's view where
// the shared layout puts the Flash control. It opens at the large frame, drags by its title
// strip and sizes from its borders between the small and the large size; F5, its buttons and
// a close from outside go to the flow.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/config.h"
#include "flow/game_frame.h"
#include "flow/launcher_events.h"
#include "win/movie_player.h"
#include "win/picture.h"
#include "win/redraw_button.h"
#include "win/web_engine.h"

namespace tavrin::win {

class GameWindow {
public:
    // At `scale` (2 for 200 %), or at the system's when it is 0.
    GameWindow(LauncherEvents& events, WebEngine& engine, ClientConfigData config,
               double scale = 0);
    ~GameWindow();
    GameWindow(const GameWindow&) = delete;
    GameWindow& operator=(const GameWindow&) = delete;

    // Where the movie's links go; before Create.
    void SetBrowser(std::function<void(const std::string&)> open) { m_browser = std::move(open); }
    // Every message of the movie's page, once answered (the self-test's); set before Create.
    void SetMovieWatch(std::function<void(const PageMessage&)> watch) {
        m_movieWatch = std::move(watch);
    }
    // Makes the window at the large frame and loads the movie; false when it cannot.
    bool Create();
    void Show();
    void Hide();
    void FocusPlayer();
    // The large and the small frame.
    void MaximiseAction();
    void RestoreAction();

    HWND Window() const { return m_hwnd; }
    WebView* Player() const { return m_player.get(); }
    // Where the movie's view lies in the window's client area.
    RECT PlayerBounds() const { return m_playerBounds; }
    MoviePlayer* Movie() const { return m_movie.get(); }
    bool FullScreen() const { return m_bFullScreen; }
    CRedrawButton* Button(GameControlId id) const;
    const ClientConfigData& Config() const { return m_config; }

private:
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool CreateButtons();
    // The frame's pictures and title font at the window's scale.
    void LoadFramePictures();
    // To the scale of the screen the window has moved to; `suggested` is its new place.
    void Rescale(double scale, const RECT& suggested);
    void Clicked(GameControlId id);
    // A key for the window or its movie; true when the window took it.
    bool OnKey(UINT key);
    // The movie's full screen: the player over the whole screen, the frame out of the way.
    void SetFullScreen(bool on);
    void MoveTo(const Rect& frame);
    // At the large or the small frame, with the button that leads to the other.
    void Place(FrameChoice choice);
    void Layout();
    void PlacePlayer(const RECT& at) {
        m_playerBounds = at;
        if (m_player) {
            m_player->SetBounds(at);
        }
    }
    void Paint();
    // The frame's pixels at the window's size: pictures and title.
    Picture DrawFrame(int width, int height);
    // The shared rules work in logical pixels, the window in the screen's.
    ScreenMetrics LogicalScreen() const;
    Size Logical(int width, int height) const;
    Rect Physical(const Rect& logical) const;

    LauncherEvents& m_events;
    WebEngine& m_engine;
    const ClientConfigData m_config;
    double m_scale;
    HWND m_hwnd = nullptr;
    HFONT m_titleFont = nullptr;
    std::unique_ptr<WebView> m_player;
    RECT m_playerBounds{};
    // After the view it plays in.
    std::unique_ptr<MoviePlayer> m_movie;
    std::function<void(const std::string&)> m_browser;
    std::function<void(const PageMessage&)> m_movieWatch;
    bool m_bFullScreen = false;
    RECT m_rcBeforeFullScreen{};
    std::vector<GameControlId> m_shownBeforeFullScreen;
    bool m_bMinimized = false;
    std::map<int, Picture> m_frameBitmaps;
    // The painted frame at the window's current size.
    Picture m_frame;
    std::map<GameControlId, std::unique_ptr<CRedrawButton>> m_buttons;
};

// The primary screen as the frame rules measure it.
ScreenMetrics PrimaryScreen();

}  // namespace tavrin::win
